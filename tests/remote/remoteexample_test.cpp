// The lab-automation example, run against the server on the simulated instrument.

#include "remotetestsupport.h"

#include <QProcess>

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");
const QString Script = QStringLiteral(KESTRUNE_EXAMPLES_DIR "/remote_lab_client.py");

struct TExampleCase {
    const char *Name;
    QStringList Scan; // START END FWHM STEP DELAY
    int ExitCode;
    QString Summary;
};

void PrintTo(const TExampleCase &c, std::ostream *os) {
    *os << c.Name;
}

class RemoteLabClient : public TRemoteServerFixture,
                        public ::testing::WithParamInterface<TExampleCase> {
protected:
    void SetUp() override {
        QProcess probe;
        probe.start(Python, {"-c", "import pyvisa, pyvisa_py"});
        WaitUntil([&] { return probe.state() == QProcess::NotRunning; }, 60000);
        if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            GTEST_SKIP() << "PyVISA with its pure-Python backend is not installed for "
                         << Python.toStdString();
        TRemoteServerFixture::SetUp();
    }
};

TEST_P(RemoteLabClient, SetsABandRunsAScanAndReportsItsOutcome) {
    const TExampleCase &c = GetParam();
    QProcess script;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PYTHONIOENCODING", "utf-8");
    script.setProcessEnvironment(environment);
    script.start(Python, QStringList{Script, "--port", QString::number(Server().ServerPort()),
                                     "--scan-timeout", "60", "--scan"} +
                             c.Scan);
    ASSERT_TRUE(WaitUntil([&] { return script.state() == QProcess::NotRunning; }, 90000));
    const QString output = QString::fromUtf8(script.readAllStandardOutput());
    EXPECT_EQ(script.exitCode(), c.ExitCode)
        << output.toStdString() << script.readAllStandardError().toStdString();
    EXPECT_TRUE(output.contains(c.Summary)) << output.toStdString();
    EXPECT_TRUE(output.contains("< Kestrune v1.0\n"));
    EXPECT_EQ(Requests.mid(0, 2),
              (QStringList{"SET 0 [600.0] [5.0]", "SCAN [" + c.Scan.join("] [") + "]"}));
    EXPECT_TRUE(rig.RequestLines().contains(rig.GoLineFor("600.0", "5.0")));
    EXPECT_FALSE(Session().IsScanning());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, RemoteLabClient,
    ::testing::Values(
        TExampleCase{"ScanSucceeds",
                     {"580.0", "600.0", "5.0", "10.0", "0.1"},
                     0,
                     "scan ended: NONE : Scan successful."},
        TExampleCase{
            "PlanRefused",
            {"500.0", "610.0", "5.0", "10.0", "1.0"},
            1,
            QStringLiteral(u"scan refused: ERRSC06 : Out of range. Please set [START] ≥ 563.5")}),
    [](const auto &info) { return std::string(info.param.Name); });

} // namespace
