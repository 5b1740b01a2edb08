// The common SCPI queries of a generic lab tool against the real program: *IDN? through the
// start-up, the error queue beside ECODE, and *OPC? holding a client's lines until its scan has
// ended, and giving nothing to a client that left.

#include "e2echecks.h"

using namespace e2e;

TEST(ScpiQueries, IdentityErrorQueueAndCompletionOfAScan) {
    ProgramFolder folder;
    Simulator instrument;
    quint16 port = 0;
    ASSERT_TRUE(PrepareFolder(folder, instrument, 1, &port));
    Program program;
    ASSERT_TRUE(program.start(folder));
    RemoteClient client;
    ASSERT_TRUE(client.connectTo(port));

    {
        SCOPED_TRACE("*IDN? says 0 for model and serial until DEVICE says READY");
        int notReady = 0;
        for (;;) {
            // Readiness only grows during the start-up: a DEVICE after the *IDN? that is not
            // READY yet means that the *IDN? came before it too.
            const std::optional<QByteArray> identity = client.ask("*IDN?");
            const std::optional<QByteArray> device = client.ask("DEVICE");
            ASSERT_TRUE(identity && device);
            if (device->startsWith("READY"))
                break;
            EXPECT_EQ(Printable(identity), "Kestrune,0,0,1.0\\r");
            ++notReady;
        }
        EXPECT_GT(notReady, 0);
    }
    ASSERT_TRUE(WaitUntilReady(folder, client));
    EXPECT_EQ(Printable(client.ask("*idn?")), "Kestrune,F612,AX0000000017,1.0\\r");

    {
        SCOPED_TRACE("the queue beside the last outcome");
        const QList<std::pair<QByteArray, QByteArray>> exchanges{
            {"SETC 500.0 5.0", "SETC FAIL\r"},
            {"*CLS", "UNKNOWN COMMAND\r"},
            {"STOP", "STOP FAIL\r"},
            {"SYST:ERR?", "203,\"ERRSE03 : Out of range. Please set [CWL] \xA1\xC3 563.5\"\r"},
            {"ECODE", "NONE\r"}, // the STOP's, as before the query
            {"Syst:Err?", "-113,\"Undefined header\"\r"},
            {"ECLEAR", "OK\r"},
            {"SYSTEM:ERROR?", "0,\"No error\"\r"},
            {"SCAN 600.0 500.0 5.0 5.0 0.1", "SCAN FAIL\r"},
            {"SYST:ERR:NEXT?", "308,\"ERRSC08 : Out of range. Please set [END] \xA1\xC3 563.5\"\r"},
            {"ETEXT", "Out of range. Please set [END] \xA1\xC3 563.5\r"},
            {"*OPC?", "1\r"},
        };
        for (const auto &[request, reply] : exchanges)
            EXPECT_EQ(Printable(client.ask(request)), Printable(reply)) << request.constData();
    }

    {
        SCOPED_TRACE("*OPC? during a scan: it and the lines after it are answered at its end");
        ASSERT_EQ(Printable(client.ask("SCAN 580.0 590.0 5.0 5.0 0.5")), "SCAN OK\\r");
        EXPECT_EQ(Printable(client.ask("*OPC?\rPROGRESS\rGETC", 60000)), "1\\r");
        EXPECT_EQ(Printable(client.nextReply()), "IDLE\\r");
        EXPECT_EQ(Printable(client.nextReply()), "590.0 5.0\\r");
        EXPECT_EQ(Printable(client.ask("ETEXT")), "Scan successful.\\r");
        EXPECT_EQ(Printable(client.ask("SYST:ERR?")), "0,\"No error\"\\r");
    }

    {
        SCOPED_TRACE("band lists: their codes in the queue, *OPC? held until a run's end");
        EXPECT_EQ(Printable(client.ask("LISTCLEAR")), "LISTCLEAR OK\\r");
        EXPECT_EQ(Printable(client.ask("RUNLIST 1")), "RUNLIST FAIL\\r");
        EXPECT_EQ(Printable(client.ask("SYST:ERR?")), "402,\"ERRLS02 : Band list is empty.\"\\r");
        EXPECT_EQ(Printable(client.ask("LISTADD 580.0 5.0 0.2")), "LISTADD OK 1\\r");
        EXPECT_EQ(Printable(client.ask("RUNLIST 2")), "RUNLIST OK\\r");
        EXPECT_EQ(Printable(client.ask("*OPC?\rSTATE", 60000)), "1\\r");
        EXPECT_EQ(Printable(client.nextReply()), "IDLE\\r");
        EXPECT_EQ(Printable(client.ask("SYST:ERR?")), "0,\"No error\"\\r");
    }

    {
        SCOPED_TRACE("a client that leaves behind a held *OPC? gets nothing; the next is served");
        ASSERT_EQ(Printable(client.ask("SCAN 570.0 640.0 5.0 0.5 10.0")), "SCAN OK\\r");
        EXPECT_EQ(Printable(client.ask("*OPC?", 500)), "(no reply)");
        client.close();
        RemoteClient next;
        std::optional<QByteArray> state;
        for (int attempt = 0; attempt < 100 && state != QByteArray("IDLE\r"); ++attempt) {
            next.close();
            if (next.connectTo(port))
                state = next.ask("STATE", 2000);
        }
        EXPECT_EQ(Printable(state), "IDLE\\r"); // the departed client's scan was stopped
        EXPECT_EQ(Printable(next.ask("*OPC?")), "1\\r");
        EXPECT_EQ(Printable(next.ask("SYST:ERR?")), "0,\"No error\"\\r");
    }
    ExpectCleanEnd(program);
}
