// kestrune-sim: the instrument on a pseudo-terminal, for people and tests without hardware.
// Options, control commands and the record format are described in README.md.

#include "sim/controlcommand.h"
#include "sim/controlserver.h"
#include "sim/virtualinstrument.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Lines on standard output announce what happened, one event per line, flushed at once so that a
// controlling process can follow them.
void Say(const QString &line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void Complain(const QString &line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

// Signal handlers only write the signal number here; the event loop does the work.
int signalPipe[2] = {-1, -1};

void OnSignal(int number) {
    const char byte = char(number);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

bool InstallSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a controller that hangs up must not kill us
    return true;
}

// The simulator's own options: name, value name (none for a switch), help.
struct PlainOption {
    const char *name;
    const char *valueName;
    const char *help;
};

const PlainOption kOptions[] = {
    {"folder", "dir", "Program folder whose Ports/ gets the link."},
    {"port", "n", "Appear as COMn (1-64) in the folder's Ports/."},
    {"id", "text", "Identification (default \"Quilm FM Ver1.0\")."},
    {"model", "code", "Model code, INFO 0 (default F612)."},
    {"serial", "text", "Serial number, INFO 1 (default AX0000000017)."},
    {"range", "lo-hi", "Wavelength range, INFO 2 (default 400.0-800.0)."},
    {"fast", nullptr, "Short working times, for tests."},
    {"homing-ms", "ms", "Homing time (default 1500)."},
    {"reply-ms", "ms", "Answer time of queries (default 10)."},
    {"move-ms", "base,per1000",
     "Move time: base plus per 1000 steps of the longest travel (default 30,45)."},
    {"write-cal", "dir", "Write the calibration file into dir."},
    {"cal-date", "yyyymmdd", "Date in the file name (default today)."},
    {"install-cal", nullptr,
     "Put the calibration file into the folder's Cal/ as the program's own copy, so that it loads "
     "without asking."},
    {"cal-only", nullptr, "Write the calibration files asked for and exit."},
    {"table", "file",
     "Check GO requests against this calibration file instead of the generated table."},
    {"no-check", nullptr, "Do not check GO requests."},
    {"record", "file", "Record every request to file ('-': stdout)."},
    {"control", "path", "Accept control commands on this Unix socket."},
    {"fault", "command", "Run a control command at start (repeatable)."},
};

// Options that are shorthands for a control command run at start: option, value name, help,
// command (with %1 for the value).
struct FaultOption {
    const char *name;
    const char *valueName;
    const char *help;
    const char *command;
};

const FaultOption kFaultOptions[] = {
    {"no-reply", nullptr, "Answer nothing.", "noreply on"},
    {"delay", "ms", "Answer every request this much later.", "delay %1"},
    {"noise", "n", "Write n garbage bytes before each reply.", "noise %1"},
    {"echo", nullptr, "Echo each request line before its reply.", "echo on"},
    {"crlf", nullptr, "End replies with CR LF.", "crlf on"},
    {"split", "n[:ms]", "Write each reply in n parts, ms apart (default 150).", "split %1"},
    {"bken-invert", nullptr, "Answer BKEN with the other state.", "bken-invert on"},
    {"info", "n=value", "Answer INFO n with value, or 'empty' or 'none'.", "info %1"},
    {"unplug-after", "n", "Unplug once n more requests are done.", "unplug-after %1"},
};

QCommandLineOption MakeOption(const char *name, const char *valueName, const char *help) {
    return valueName ? QCommandLineOption(QLatin1String(name), QLatin1String(help),
                                          QLatin1String(valueName))
                     : QCommandLineOption(QLatin1String(name), QLatin1String(help));
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrune-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated wave selector on a pseudo-terminal.\n\nControl commands (on "
                       "standard input, "
                       "on the --control socket, or with --fault):\n") +
        ksim::ControlHelp() +
        QStringLiteral("\n\nSignals: SIGUSR1 unplugs, SIGUSR2 plugs in again, SIGINT and SIGTERM "
                       "end the simulator and remove the link."));
    parser.addHelpOption();
    for (const PlainOption &o : kOptions)
        parser.addOption(MakeOption(o.name, o.valueName, o.help));
    QList<QCommandLineOption> faultOptions;
    for (const FaultOption &f : kFaultOptions) {
        faultOptions.append(MakeOption(f.name, f.valueName, f.help));
        parser.addOption(faultOptions.last());
    }
    parser.process(app);

    const auto fail = [](const QString &message) {
        Complain(QStringLiteral("kestrune-sim: ") + message);
        return 2;
    };

    ksim::InstrumentProfile profile;
    if (parser.isSet(QStringLiteral("id")))
        profile.identification = parser.value(QStringLiteral("id")).toLatin1();
    if (parser.isSet(QStringLiteral("model")))
        profile.model = parser.value(QStringLiteral("model"));
    if (parser.isSet(QStringLiteral("serial")))
        profile.serial = parser.value(QStringLiteral("serial"));
    if (parser.isSet(QStringLiteral("range"))) {
        const QStringList ends = parser.value(QStringLiteral("range")).split(QLatin1Char('-'));
        bool okLo = false;
        bool okHi = false;
        if (ends.size() == 2) {
            profile.rangeMin = ends[0].toDouble(&okLo);
            profile.rangeMax = ends[1].toDouble(&okHi);
        }
        if (!okLo || !okHi || profile.rangeMin >= profile.rangeMax)
            return fail(QStringLiteral("--range wants lo-hi, e.g. 400.0-800.0"));
    }
    if (parser.isSet(QStringLiteral("fast")))
        profile.timing = ksim::Timing::fast();
    const auto millis = [&parser](const QString &option, int &field) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const int v = parser.value(option).toInt(&ok);
        if (ok && v >= 0)
            field = v;
        return ok && v >= 0;
    };
    if (!millis(QStringLiteral("homing-ms"), profile.timing.homingMs) ||
        !millis(QStringLiteral("reply-ms"), profile.timing.replyMs))
        return fail(QStringLiteral("times are whole milliseconds"));
    if (parser.isSet(QStringLiteral("move-ms"))) {
        const QStringList parts = parser.value(QStringLiteral("move-ms")).split(QLatin1Char(','));
        bool okBase = false;
        bool okPer = false;
        if (parts.size() == 2) {
            profile.timing.moveBaseMs = parts[0].toInt(&okBase);
            profile.timing.moveMsPer1000 = parts[1].toInt(&okPer);
        }
        if (!okBase || !okPer || profile.timing.moveBaseMs < 0 || profile.timing.moveMsPer1000 < 0)
            return fail(QStringLiteral("--move-ms wants base,per1000, e.g. 30,45"));
    }

    ksim::VirtualInstrument instrument(profile);

    const ksim::CalTable generated = ksim::CalTable::generate(profile);
    if (parser.isSet(QStringLiteral("write-cal"))) {
        const QDate date = parser.isSet(QStringLiteral("cal-date"))
                               ? QDate::fromString(parser.value(QStringLiteral("cal-date")),
                                                   QStringLiteral("yyyyMMdd"))
                               : QDate::currentDate();
        if (!date.isValid())
            return fail(QStringLiteral("--cal-date wants yyyymmdd"));
        QString error;
        const QString path = generated.write(parser.value(QStringLiteral("write-cal")),
                                             generated.fileName(date), &error);
        if (path.isEmpty())
            return fail(error);
        Say(QStringLiteral("CALFILE ") + path);
    }
    if (parser.isSet(QStringLiteral("install-cal"))) {
        if (!parser.isSet(QStringLiteral("folder")))
            return fail(QStringLiteral("--install-cal needs --folder"));
        QString error;
        const QString path = generated.write(
            QDir(parser.value(QStringLiteral("folder"))).filePath(QStringLiteral("Cal")),
            generated.keptName(), &error);
        if (path.isEmpty())
            return fail(error);
        Say(QStringLiteral("CALFILE ") + path);
    }
    if (parser.isSet(QStringLiteral("cal-only")))
        return 0;
    if (parser.isSet(QStringLiteral("no-check"))) {
        instrument.setCalTable(std::nullopt);
    } else if (parser.isSet(QStringLiteral("table"))) {
        QString error;
        std::optional<ksim::CalTable> checked =
            ksim::CalTable::read(parser.value(QStringLiteral("table")), &error);
        if (!checked)
            return fail(parser.value(QStringLiteral("table")) + QStringLiteral(": ") + error);
        instrument.setCalTable(std::move(checked));
    }

    QStringList startCommands;
    for (int i = 0; i < faultOptions.size(); ++i) {
        const FaultOption &f = kFaultOptions[i];
        if (!parser.isSet(faultOptions[i]))
            continue;
        // "--split 3:200" and "--info 1=X" become "split 3 200" and "info 1 X".
        QString value = parser.value(faultOptions[i]);
        const int separator = value.indexOf(QRegularExpression(QStringLiteral("[:=]")));
        if (separator >= 0)
            value[separator] = QLatin1Char(' ');
        startCommands << QString::fromLatin1(f.command).arg(value);
    }
    startCommands << parser.values(QStringLiteral("fault"));
    for (const QString &command : startCommands) {
        const ksim::ControlResult result = ksim::ExecuteControlCommand(instrument, command);
        if (!result.reply.startsWith(QLatin1String("OK")))
            return fail(command + QStringLiteral(": ") + result.reply);
    }

    if (parser.isSet(QStringLiteral("record")) &&
        !instrument.recordTo(parser.value(QStringLiteral("record"))))
        return fail(QStringLiteral("cannot write the record ") +
                    parser.value(QStringLiteral("record")));

    if (parser.isSet(QStringLiteral("port")) != parser.isSet(QStringLiteral("folder")))
        return fail(QStringLiteral("--folder and --port go together"));
    int portNumber = 0;
    if (parser.isSet(QStringLiteral("port"))) {
        bool ok = false;
        portNumber = parser.value(QStringLiteral("port")).toInt(&ok);
        if (!ok || portNumber < 1 || portNumber > 64)
            return fail(QStringLiteral("--port wants 1 to 64"));
    }

    QObject::connect(&instrument, &ksim::VirtualInstrument::pluggedIn,
                     [](const QString &path) { Say(QStringLiteral("DEVICE ") + path); });
    QObject::connect(&instrument, &ksim::VirtualInstrument::unpluggedOut,
                     [] { Say(QStringLiteral("UNPLUGGED")); });
    QObject::connect(&instrument, &ksim::VirtualInstrument::goMismatch,
                     [](const ksim::RequestRecord &r) {
                         Complain(QStringLiteral("ERROR GO matches no calibration cell: ") +
                                  QString::fromLatin1(r.text));
                     });

    if (!InstallSignals())
        return fail(QStringLiteral("cannot set up signal handling"));
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&instrument] {
        char number = 0;
        if (::read(signalPipe[0], &number, 1) != 1)
            return;
        if (number == SIGUSR1)
            instrument.unplug();
        else if (number == SIGUSR2)
            instrument.plug();
        else
            QCoreApplication::quit();
    });

    ksim::ControlServer server(instrument);
    if (parser.isSet(QStringLiteral("control"))) {
        QString error;
        if (!server.listen(parser.value(QStringLiteral("control")), &error))
            return fail(parser.value(QStringLiteral("control")) + QStringLiteral(": ") + error);
        QObject::connect(&server, &ksim::ControlServer::quitRequested, &app,
                         &QCoreApplication::quit);
    }

    QByteArray stdinLine;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false); // end of input: go on until a signal or a quit
            return;
        }
        stdinLine.append(buffer, n);
        int end;
        while ((end = stdinLine.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(stdinLine.left(end)).trimmed();
            stdinLine.remove(0, end + 1);
            if (line.isEmpty())
                continue;
            const ksim::ControlResult result = ksim::ExecuteControlCommand(instrument, line);
            Say(result.reply);
            if (result.quit)
                QCoreApplication::quit();
        }
    });

    if (!instrument.plug())
        return fail(QStringLiteral("cannot create a pseudo-terminal"));
    if (portNumber > 0) {
        const QString link = QDir(parser.value(QStringLiteral("folder")))
                                 .absoluteFilePath(QStringLiteral("Ports/COM%1").arg(portNumber));
        if (!instrument.setLink(link))
            return fail(QStringLiteral("cannot make the link ") + link);
        Say(QStringLiteral("LINK ") + link);
    }
    Say(QStringLiteral("READY"));
    return app.exec();
}
