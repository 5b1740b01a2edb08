#include "journalmessages.h"

#include "session/statuscolour.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <unistd.h>

// The journal takes a line's priority from its "<n>" prefix: an error must reach it as an error
// and a success as more than progress, or a filter on priority (journalctl -p) hides the wrong
// lines.
TEST(JournalMessages, EachMessageIsOneLineWithItsColoursPriority) {
    EXPECT_EQ(
        TJournalMessages::Line(QStringLiteral("ERRDV02 : Communication error. Connection lost."),
                               StatusColour::Red),
        "<3>ERRDV02 : Communication error. Connection lost.\n");
    EXPECT_EQ(TJournalMessages::Line(QStringLiteral("Device ready."), StatusColour::Lime),
              "<5>Device ready.\n");
    EXPECT_EQ(TJournalMessages::Line(QStringLiteral("Searching device..."), StatusColour::Silver),
              "<6>Searching device...\n");
    EXPECT_EQ(TJournalMessages::Line(QStringLiteral("Scanning..."), StatusColour::Yellow),
              "<6>Scanning...\n");
    // A break inside a text would make its rest a line of its own, without the error's priority;
    // text beyond Latin-1 stays readable.
    EXPECT_EQ(TJournalMessages::Line(
                  QStringLiteral("ERRSC06 : Out of range.\r\nPlease set [START] \u2265 400.0"),
                  StatusColour::Red),
              "<3>ERRSC06 : Out of range.  Please set [START] \xE2\x89\xA5 400.0\n");
}

// A search that finds nothing repeats its message every second; the journal gets it once, and
// again only after something else was said.
TEST(JournalMessages, WritesEachChangeOfMessageAtOnceInOrder) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> out(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(out);
    TJournalMessages journal(out.get());
    journal.Write(QStringLiteral("Device found. Please wait..."), StatusColour::Silver);
    journal.Write(QStringLiteral("Device found. Please wait..."), StatusColour::Silver);
    journal.Write(QStringLiteral("Device ready."), StatusColour::Lime);
    journal.Write(QStringLiteral("Device found. Please wait..."), StatusColour::Silver);
    // Flushed per line: a killed program must not lose what it said last.
    const int fd = fileno(out.get());
    char text[128] = {};
    ASSERT_EQ(::pread(fd, text, sizeof text - 1, 0), 81);
    EXPECT_STREQ(text, "<6>Device found. Please wait...\n<5>Device ready.\n"
                       "<6>Device found. Please wait...\n");
}
