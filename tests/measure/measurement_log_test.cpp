#include "measure/measurement_log.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <clocale>
#include <csignal>
#include <filesystem>

#include "common/date_text.h"
#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

// The log as a run opens it: the file, then the record's first line.
void OpenRecord(MeasurementLog& log, const ProgramFolder& folder, const Clock& clock)
{
    log.Open(folder, clock);
    log.StartRecord();
}

TEST(MeasurementLogLines, NameFirstLineAndPointLine)
{
    const FixedFolder folder("/opt/lab");
    EXPECT_EQ(MeasurementLogPath(folder, CalendarDate(2024, 3, 5, 14, 7, 9)),
              "/opt/lab/log-202403.log");
    EXPECT_EQ(MeasurementLogFirstLine(CalendarDate(2024, 3, 5, 14, 7, 9)),
              "Measurement:20240305 14:07:09");
    EXPECT_EQ(MeasurementLogFirstLine(CalendarDate(2023, 12, 31, 0, 0, 0)),
              "Measurement:20231231 00:00:00");
    EXPECT_EQ(MeasurementLogPointLine(-1.5, "+1.23456E-10,+4.56789E-07"),
              "-1.500,+1.23456E-10,+4.56789E-07");
    EXPECT_EQ(MeasurementLogPointLine(0.0, "V,C,G                    "),
              "0.000,V,C,G                    ");
    EXPECT_EQ(MeasurementLogPointLine(0.1, "x"), "0.100,x");
    // A short reply's line end stays out of the log; so does what follows it.
    EXPECT_EQ(MeasurementLogPointLine(1.0, "+9.9E+37\n+1.23456E-10,+4."), "1.000,+9.9E+37");
    EXPECT_EQ(MeasurementLogPointLine(1.0, "+1.0E-10\r\n3456E-10,+4.5"), "1.000,+1.0E-10");
}

TEST(MeasurementLogLines, DecimalPointWhateverTheLocale)
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no decimal-comma locale installed";
    const std::string line = MeasurementLogPointLine(-0.25, "r");
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(line, "-0.250,r");
}

TEST(MeasurementLog, AppendsRecordsWithCrLfAndEndsEachWithAnEmptyLine)
{
    testing::TempFolder temp;
    VirtualClock clock;
    for (int run = 0; run < 2; ++run) {
        MeasurementLog log;
        OpenRecord(log, temp.Folder(), clock);
        log.LogPointLine(0.0, "V,C,G");
        log.LogPointLine(2.0, "+1.00000E-10,+2.00000E-06");
        log.CloseMeasurementLog();
        EXPECT_FALSE(log.Failed());
        EXPECT_EQ(log.LinesWritten(), 4);
        clock.Sleep(61000);
    }
    EXPECT_EQ(temp.Read("log-202403.log"),
              "Measurement:20240305 14:07:09\r\n0.000,V,C,G\r\n2.000,+1.00000E-10,+2.00000E-06\r\n"
              "\r\n"
              "Measurement:20240305 14:08:10\r\n0.000,V,C,G\r\n2.000,+1.00000E-10,+2.00000E-06\r\n"
              "\r\n");
}

TEST(MeasurementLog, EveryLineIsInTheFileAsSoonAsItIsWritten)
{
    testing::TempFolder temp;
    VirtualClock clock;
    MeasurementLog log;
    OpenRecord(log, temp.Folder(), clock);
    log.LogPointLine(1.0, "reply");
    // Read by another handle while the log is still open.
    EXPECT_EQ(temp.Read("log-202403.log"), "Measurement:20240305 14:07:09\r\n1.000,reply\r\n");
    log.Close();
    EXPECT_EQ(temp.Read("log-202403.log"), "Measurement:20240305 14:07:09\r\n1.000,reply\r\n");
}

TEST(MeasurementLog, TheMonthIsTakenWhenTheLogIsOpened)
{
    testing::TempFolder temp;
    VirtualClock clock;
    clock.SetLocalTime(CalendarDate(2024, 3, 31, 23, 59, 59));
    MeasurementLog log;
    OpenRecord(log, temp.Folder(), clock);
    clock.Sleep(5000);  // the run goes on into April
    log.LogPointLine(0.0, "late");
    log.CloseMeasurementLog();
    OpenRecord(log, temp.Folder(), clock);
    log.CloseMeasurementLog();
    EXPECT_EQ(temp.Read("log-202403.log"), "Measurement:20240331 23:59:59\r\n0.000,late\r\n\r\n");
    EXPECT_EQ(temp.Read("log-202404.log"), "Measurement:20240401 00:00:04\r\n\r\n");
}

TEST(MeasurementLog, ARecordBeingWrittenHoldsTheMonthsFileAgainstASecondRun)
{
    testing::TempFolder temp;
    VirtualClock clock;
    MeasurementLog first;
    OpenRecord(first, temp.Folder(), clock);
    MeasurementLog second;
    OpenRecord(second, temp.Folder(), clock);
    ASSERT_TRUE(second.Failed());
    EXPECT_EQ(second.Failure(), first.Path() +
                                    " is held by another measurement run (another "
                                    "Quillon on this folder)");
    second.LogPointLine(1.0, "+1.00000E-10,+2.00000E-06");
    first.CloseMeasurementLog();
    EXPECT_EQ(temp.Read("log-202403.log"), "Measurement:20240305 14:07:09\r\n\r\n");
    // Free again once the record is closed.
    MeasurementLog third;
    third.Open(temp.Folder(), clock);
    EXPECT_FALSE(third.Failed()) << third.Failure();
}

TEST(MeasurementLog, FailuresAreKeptNotThrown)
{
    testing::TempFolder temp;
    VirtualClock clock;
    {
        // A folder where the file should be: it cannot be opened.
        std::filesystem::create_directory(temp.File("log-202403.log"));
        MeasurementLog log;
        OpenRecord(log, temp.Folder(), clock);
        log.LogPointLine(0.0, "x");
        log.CloseMeasurementLog();
        EXPECT_TRUE(log.Failed());
        EXPECT_EQ(log.Failure(),
                  "cannot open " + temp.File("log-202403.log").string() + ": Is a directory");
        EXPECT_EQ(log.LinesWritten(), 0);
        std::filesystem::remove(temp.File("log-202403.log"));
    }
    // Anything else that is not a regular file is refused, and a FIFO
    // without a reader must not keep the run waiting.
    for (const bool fifo : {false, true}) {
        const std::string path = temp.File("log-202403.log").string();
        std::filesystem::remove(path);
        if (fifo)
            ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0);
        else
            std::filesystem::create_symlink("/dev/full", path);
        MeasurementLog log;
        OpenRecord(log, temp.Folder(), clock);
        log.LogPointLine(0.0, "x");
        log.CloseMeasurementLog();
        EXPECT_EQ(log.Failure(), "cannot open " + path + ": not a regular file");
        EXPECT_EQ(log.LinesWritten(), 0);
    }
}

// A disk that fills up in the middle of a line, as a file size limit makes it.
TEST(MeasurementLog, ALineCutShortIsTakenBackAndTheNextRecordStartsOnALineOfItsOwn)
{
    testing::TempFolder temp;
    VirtualClock clock;
    const std::string first = "Measurement:20240305 14:07:09\r\n1.000,whole\r\n";
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    {
        MeasurementLog log;
        OpenRecord(log, temp.Folder(), clock);
        log.LogPointLine(1.0, "whole");
        rlimit limit = saved;
        limit.rlim_cur = first.size() + 10;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        log.LogPointLine(2.0, "+1.23456E-10,+4.56789E-07");
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_TRUE(log.Failed());
        EXPECT_EQ(temp.Read("log-202403.log"), first);
    }
    std::signal(SIGXFSZ, oldHandler);

    // A record that ended in half a line all the same (the cut failed too).
    temp.Write("log-202403.log", first + "2.000,+1.2");
    MeasurementLog log;
    OpenRecord(log, temp.Folder(), clock);
    log.CloseMeasurementLog();
    EXPECT_EQ(temp.Read("log-202403.log"),
              first + "2.000,+1.2\r\nMeasurement:20240305 14:07:09\r\n\r\n");
}

}  // namespace
}  // namespace quillon
