// One run of the program with a band list: a full list read at start with an entry the table
// refuses, the list's words and their refusals, a stepped run answered through a flood of NEXT,
// the run refused beside a scan, a client that leaves a stepped run, a timed run to its end,
// and the list kept in BandList.csv at the program's end.

#include "e2echecks.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <memory>

using namespace e2e;

namespace {

struct Exchange {
    QByteArray request;
    QByteArray reply; // without its CR
};

void ExpectExchanges(RemoteClient &client, const QList<Exchange> &exchanges) {
    for (const Exchange &e : exchanges)
        EXPECT_EQ(Printable(client.ask(e.request)), Printable(e.reply + '\r'))
            << "request: " << e.request.constData();
}

// The outcome a refusal left: reply, code and text.
void ExpectRefusal(RemoteClient &client, const QByteArray &request, const QByteArray &reply,
                   const QByteArray &code, const QByteArray &text) {
    ExpectExchanges(client, {{request, reply}, {"ECODE", code}, {"ETEXT", text}});
}

QByteArray LastRecordTail(const ProgramFolder &folder) {
    const QDir scans(folder.filePath(QStringLiteral("Scans")));
    const QStringList records =
        scans.entryList({QStringLiteral("List *.csv")}, QDir::Files, QDir::Name);
    QFile file(scans.filePath(records.value(records.size() - 1)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().trimmed().split('\n').last().split(',').last();
}

// A client that the program serves: it closes a newcomer's connection until it has seen the
// previous client leave.
std::unique_ptr<RemoteClient> ServedClient(quint16 port) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < StartUpTimeOutMs) {
        auto client = std::make_unique<RemoteClient>();
        if (client->connectTo(port) && client->ask("VER", 2000) == "Kestrune v1.0\r")
            return client;
    }
    return nullptr;
}

} // namespace

TEST(BandListE2E, AListFromStartUpToEndThroughTheRemotePort) {
    ProgramFolder folder;
    Simulator instrument;
    quint16 port = 0;
    ASSERT_TRUE(PrepareFolder(folder, instrument, 1, &port));
    {
        QFile list(folder.filePath(QStringLiteral("BandList.csv")));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write("cwl_nm,fwhm_nm,dwell_s\r\n");
        for (int i = 1; i < 10000; ++i)
            list.write("600.0,5.0,0.1\r\n");
        list.write("700.0,5.0,0.1\r\n");
    }
    Program program;
    ASSERT_TRUE(program.start(folder));
    RemoteClient client;
    ASSERT_TRUE(client.connectTo(port));
    ASSERT_TRUE(WaitUntilReady(folder, client));

    {
        SCOPED_TRACE("the list read at start, full, with an entry the table refuses");
        ExpectExchanges(client, {{"LIST", "10000"},
                                 {"LIST 1", "600.0 5.0 0.1"},
                                 {"LIST 10000", "700.0 5.0 0.1"},
                                 {"LIST 0", "NONE"},
                                 {"LIST 10001", "NONE"},
                                 {"LIST x", "NONE"},
                                 {"ECODE", ""}}); // read-backs leave SETC's outcome
        ExpectRefusal(client, "LISTADD 600.0 5.0 1.0", "LISTADD FAIL", "ERRLS01",
                      "Band list is full.");
        ExpectRefusal(client, "RUNLIST 1", "RUNLIST FAIL", "ERRSE04",
                      "Entry 10000: Out of range. Please set [CWL] \xA1\xC2 645.0");
        EXPECT_EQ(instrument.records(ksim::RequestKind::Go).size(), 1) << "the ready check's";
    }
    {
        SCOPED_TRACE("an empty list, entries that do not pass, words of other lengths");
        ExpectExchanges(client, {{"LISTCLEAR", "LISTCLEAR OK"}, {"LIST", "0"}});
        ExpectRefusal(client, "RUNLIST 1", "RUNLIST FAIL", "ERRLS02", "Band list is empty.");
        ExpectRefusal(client, "STEPLIST 1", "STEPLIST FAIL", "ERRLS02", "Band list is empty.");
        ExpectRefusal(client, "LISTADD abc 5.0 1.0", "LISTADD FAIL", "ERRSE03",
                      "Out of range. Please set [CWL] \xA1\xC3 563.5");
        ExpectRefusal(client, "LISTADD 600.0 4.5 1.0", "LISTADD FAIL", "ERRSE08",
                      "[FWHM] must be a positive integer value.");
        ExpectRefusal(client, "LISTADD 600.0 5.0 0.04", "LISTADD FAIL", "ERRSC14",
                      "Out of range. Please set [TimeDelay] \xA1\xC3 0.1");
        ExpectRefusal(client, "LISTADD 600.0 5.0 -1", "LISTADD FAIL", "ERRSC05",
                      "[TimeDelay] value is invalid.");
        ExpectRefusal(client, "NEXT", "NEXT FAIL", "NONE", "No stepped run.");
        for (const char *line : {"LISTADD 600.0 5.0", "LISTADD 600.0 5.0 1.0 1", "LISTCLEAR 1",
                                 "NEXT 1", "RUNLIST", "STEPLIST 1 1", "LIST 1 1", "list"})
            ExpectExchanges(client, {{line, "UNKNOWN COMMAND"}});
        ExpectExchanges(client, {{"LIST", "0"}});
    }
    {
        SCOPED_TRACE("a stepped run through a flood of NEXT: one move each, answered in order");
        for (int i = 1; i <= 30; ++i)
            ASSERT_EQ(
                client.ask("LISTADD " + QByteArray::number(580.0 + 0.5 * i, 'f', 1) + " 5.0 0.1"),
                "LISTADD OK " + QByteArray::number(i) + '\r');
        for (const char *cycles : {"0", "10001", "2.0", "two"})
            ExpectRefusal(client, QByteArray("RUNLIST ") + cycles, "RUNLIST FAIL", "ERRLS03",
                          "[Cycles] must be an integer from 1 to 10000.");
        const int goBefore = instrument.records(ksim::RequestKind::Go).size();
        ExpectExchanges(client, {{"STEPLIST 2", "STEPLIST OK"},
                                 {"STATE", "LIST"},
                                 {"PROGRESS", "1 60 580.5 5.0"},
                                 {"GETC", "580.5 5.0"}});
        QByteArray flood;
        for (int i = 0; i < 20; ++i)
            flood += "NEXT\r";
        flood.chop(1);
        EXPECT_EQ(Printable(client.ask(flood)), "NEXT OK 2\\r");
        for (int k = 3; k <= 21; ++k)
            EXPECT_EQ(Printable(client.nextReply()), "NEXT OK " + std::to_string(k) + "\\r");
        EXPECT_EQ(instrument.records(ksim::RequestKind::Go).size(), goBefore + 21);
        ExpectExchanges(client, {{"PROGRESS", "21 60 590.5 5.0"}, {"GETC", "590.5 5.0"}});
        ExpectRefusal(client, "SCAN 570.0 640.0 5.0 0.5 10.0", "SCAN FAIL", "NONE",
                      "Now Scanning.");
        ExpectRefusal(client, "STEPLIST 1", "STEPLIST FAIL", "NONE", "Now Scanning.");
        ExpectRefusal(client, "LISTCLEAR", "LISTCLEAR FAIL", "NONE", "Now Scanning.");
        ExpectRefusal(client, "LISTADD 600.0 5.0 1.0", "LISTADD FAIL", "NONE", "Now Scanning.");
        ExpectExchanges(client, {{"STOP", "STOP OK"}, {"STATE", "IDLE"}, {"LIST", "30"}});
        EXPECT_EQ(LastRecordTail(folder), "aborted");
    }
    {
        SCOPED_TRACE("beside a scan, and a client that leaves a stepped run");
        ExpectExchanges(client, {{"SCAN 570.0 640.0 5.0 0.5 10.0", "SCAN OK"}});
        ExpectRefusal(client, "STEPLIST 1", "STEPLIST FAIL", "NONE", "Now Scanning.");
        ExpectExchanges(client, {{"NEXT", "NEXT FAIL"}, {"STOP", "STOP OK"}});
        ExpectExchanges(client, {{"STEPLIST 1", "STEPLIST OK"}});
        client.close();
        const std::unique_ptr<RemoteClient> served = ServedClient(port);
        ASSERT_TRUE(served);
        RemoteClient &next = *served;
        ExpectExchanges(next, {{"STATE", "IDLE"}});
        EXPECT_EQ(LastRecordTail(folder), "aborted");

        SCOPED_TRACE("a timed run to its end; its outcome stays for ECODE and ETEXT");
        ExpectExchanges(next, {{"LISTCLEAR", "LISTCLEAR OK"},
                               {"LISTADD 600.0 5.0 0.1", "LISTADD OK 1"},
                               {"LISTADD 610.5 3.0 0.2", "LISTADD OK 2"},
                               {"RUNLIST 2", "RUNLIST OK"}});
        const std::optional<QByteArray> idle = next.askUntil(
            "PROGRESS", [](const QByteArray &r) { return r == "IDLE\r"; }, 30000);
        EXPECT_EQ(Printable(idle), "IDLE\\r");
        ExpectExchanges(next, {{"ECODE", "NONE"}, {"ETEXT", "Band list finished."}});
        EXPECT_EQ(LastRecordTail(folder), "success");
        next.close();
    }
    ExpectCleanEnd(program);
    QFile kept(folder.filePath(QStringLiteral("BandList.csv")));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "cwl_nm,fwhm_nm,dwell_s\r\n600.0,5.0,0.1\r\n610.5,3.0,0.2\r\n");
}
