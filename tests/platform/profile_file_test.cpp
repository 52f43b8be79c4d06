#include "platform/profile_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <future>
#endif

#include "platform/file_replace.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

// Every test gets a folder of its own, so that leftovers of one test (a
// temporary file, a permission change) can never make another one pass.
class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        std::random_device random;
        folder_ =
            fs::temp_directory_path() / ("quillon-profile-" + std::string(test->name()) + '-' +
                                         std::to_string(ticks) + '-' + std::to_string(random()));
        ASSERT_TRUE(fs::create_directory(folder_));
    }

    void TearDown() override
    {
        std::error_code error;
        // A test may leave a folder without write permission behind, which
        // would stop the clean-up when not running as root.
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, error);
        for (const auto& entry : fs::recursive_directory_iterator(folder_, error)) {
            if (entry.is_directory(error) && !entry.is_symlink(error)) {
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
            }
        }
        fs::remove_all(folder_, error);
    }

    std::string Path(const std::string& name = "Quillon.ini") const
    {
        return (folder_ / name).string();
    }

    void Put(const std::string& bytes, const std::string& name = "Quillon.ini") const
    {
        std::ofstream out(folder_ / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good());
    }

    std::string Get(const std::string& name = "Quillon.ini") const
    {
        std::ifstream in(folder_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::string Read(std::string_view section, std::string_view key,
                     std::string_view defaultValue = "none", std::size_t bufferSize = 255) const
    {
        return ReadProfileString(Path(), section, key, defaultValue, bufferSize);
    }

    bool Write(std::string_view section, std::string_view key, std::string_view value) const
    {
        return WriteProfileString(Path(), section, key, value);
    }

    // The names in `folder`, to see that no temporary file stays behind.
    static std::vector<std::string> Names(const fs::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> Names() const { return Names(folder_); }

#ifndef _WIN32
    // Root passes every permission check, so a failure that only the
    // permission bits cause cannot be provoked then: for root the attempt
    // runs in a child process that has become an ordinary user, who owns the
    // folder and everything in it. No value when that switch is impossible.
    std::optional<bool> AttemptWhereBitsCount(const std::function<bool()>& attempt) const
    {
        if (::geteuid() != 0) return attempt();
        constexpr uid_t kNobody = 65534;
        std::error_code error;
        if (::chown(folder_.c_str(), kNobody, kNobody) != 0) return std::nullopt;
        for (const auto& entry : fs::directory_iterator(folder_, error))
            if (::chown(entry.path().c_str(), kNobody, kNobody) != 0) return std::nullopt;
        const pid_t child = ::fork();
        if (child < 0) return std::nullopt;
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(2);
            ::_exit(attempt() ? 1 : 0);
        }
        int status = 0;
        if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return std::nullopt;
        if (WEXITSTATUS(status) > 1) return std::nullopt;
        return WEXITSTATUS(status) == 1;
    }
#endif

    fs::path folder_;
};

using NameList = std::vector<std::string>;

// --- Reading ---------------------------------------------------------------

class ProfileRead : public ProfileFileTest {};

TEST_F(ProfileRead, MissingFileSectionOrKeyGivesTheDefault)
{
    EXPECT_EQ(Read("MEAS", "Integ", "MEDIUM"), "MEDIUM");
    EXPECT_TRUE(Names().empty());  // reading never creates the file

    Put("[MEAS]\r\nInteg=LONG\r\n[Empty]\r\n");
    EXPECT_EQ(Read("Other", "Integ", "MEDIUM"), "MEDIUM");
    EXPECT_EQ(Read("MEAS", "Freq", "1000"), "1000");
    EXPECT_EQ(Read("Empty", "Integ", "x"), "x");
    EXPECT_EQ(Read("MEAS", "Integ", "MEDIUM"), "LONG");
    EXPECT_EQ(Read("MEAS", "Integ", ""), "LONG");
}

TEST_F(ProfileRead, NamesIgnoreCaseAndSurroundingBlanks)
{
    Put("[ meas\t]\r\n\t INTEG \t= LONG\r\nfreq=1000\r\n");
    EXPECT_EQ(Read("MEAS", "Integ"), "LONG");
    EXPECT_EQ(Read("Meas", "integ"), "LONG");
    EXPECT_EQ(Read(" MEAS\t", "\tInteg "), "LONG");
    EXPECT_EQ(Read("MEAS", "FREQ"), "1000");
    // Only ASCII letters fold.
    Put("[\xC4]\r\nk=1\r\n");
    EXPECT_EQ(Read("\xE4", "k"), "none");
    EXPECT_EQ(Read("\xC4", "K"), "1");
}

TEST_F(ProfileRead, FirstSectionAndFirstKeyWin)
{
    Put("[A]\r\nk=first\r\nK=second\r\n[B]\r\nk=other\r\n[a]\r\nk=third\r\nlate=1\r\n");
    EXPECT_EQ(Read("A", "k"), "first");
    EXPECT_EQ(Read("B", "k"), "other");
    // A repeated section is not searched.
    EXPECT_EQ(Read("A", "late"), "none");
}

TEST_F(ProfileRead, KeysBeforeTheFirstHeaderBelongToNoSection)
{
    Put("k=loose\r\n[A]\r\nj=1\r\n");
    EXPECT_EQ(Read("A", "k"), "none");
    EXPECT_EQ(Read("", "k"), "none");
}

TEST_F(ProfileRead, CommentsAndLinesWithoutEqualsAreNoKeys)
{
    Put("[A]\r\n;k=commented\r\n  ; k=also\r\nk\r\nk value\r\n[B\r\nj = 2 ] \r\n"
        "[C] trailing text\r\nx=3\r\n");
    EXPECT_EQ(Read("A", "k"), "none");
    EXPECT_EQ(Read("A", ";k"), "none");
    // "[B" has no ']' and so is no header: its section is still A.
    EXPECT_EQ(Read("A", "j"), "2 ]");
    EXPECT_EQ(Read("B", "j"), "none");
    EXPECT_EQ(Read("C", "x"), "3");
}

TEST_F(ProfileRead, ValueLosesBlanksAndOnePairOfMatchingQuotes)
{
    Put("[V]\r\n"
        "plain= \t spaced out \t\r\n"
        "double=\"  keep inner  \"\r\n"
        "single='x'\r\n"
        "twice=\"\"inner\"\"\r\n"
        "mixed=\"x'\r\n"
        "lone=\"\r\n"
        "empty=\r\n"
        "quoted blank= \"\" \r\n"
        "equals=a=b\r\n");
    EXPECT_EQ(Read("V", "plain"), "spaced out");
    EXPECT_EQ(Read("V", "double"), "  keep inner  ");
    EXPECT_EQ(Read("V", "single"), "x");
    EXPECT_EQ(Read("V", "twice"), "\"inner\"");
    EXPECT_EQ(Read("V", "mixed"), "\"x'");
    EXPECT_EQ(Read("V", "lone"), "\"");
    EXPECT_EQ(Read("V", "empty", "default"), "");
    EXPECT_EQ(Read("V", "quoted blank", "default"), "");
    EXPECT_EQ(Read("V", "equals"), "a=b");
}

TEST_F(ProfileRead, ResultIsCutToOneLessThanTheBufferSize)
{
    const std::string longValue =
        std::string(100, 'a') + std::string(100, 'b') + std::string(100, 'c');
    Put("[T]\r\nlong=" + longValue + "\r\nshort=abc\r\n");
    EXPECT_EQ(Read("T", "long", "", 255), longValue.substr(0, 254));
    EXPECT_EQ(Read("T", "long", "", 301), longValue);
    EXPECT_EQ(Read("T", "long", "", 300), longValue.substr(0, 299));
    EXPECT_EQ(Read("T", "short", "", 4), "abc");
    EXPECT_EQ(Read("T", "short", "", 3), "ab");
    EXPECT_EQ(Read("T", "short", "", 1), "");
    EXPECT_EQ(Read("T", "short", "", 0), "");
    // The default is cut the same way.
    EXPECT_EQ(Read("T", "missing", "default", 4), "def");
    EXPECT_EQ(Read("T", "missing", "default", 0), "");
    EXPECT_EQ(ReadProfileString(Path("absent.ini"), "T", "k", "default", 3), "de");
}

TEST_F(ProfileRead, LfOnlyAndMixedLineEnds)
{
    Put("[A]\nk=lf\nj=crlf\r\n[B]\r\nm=last");
    EXPECT_EQ(Read("A", "k"), "lf");
    EXPECT_EQ(Read("A", "j"), "crlf");
    EXPECT_EQ(Read("B", "m"), "last");
}

TEST_F(ProfileRead, ByteOrderMarkIsSkipped)
{
    Put("\xEF\xBB\xBF[MEAS]\r\nInteg=LONG\r\n");
    EXPECT_EQ(Read("MEAS", "Integ"), "LONG");
    Put("\xEF\xBB\xBFk=loose\r\n");
    EXPECT_EQ(Read("", "k"), "none");
}

TEST_F(ProfileRead, FileThatIsAFolderGivesTheDefault)
{
    fs::create_directory(Path());
    EXPECT_EQ(Read("MEAS", "Integ", "MEDIUM"), "MEDIUM");
}

// --- Writing ---------------------------------------------------------------

class ProfileWrite : public ProfileFileTest {};

TEST_F(ProfileWrite, FirstSaveCreatesTheFile)
{
    ASSERT_TRUE(Write("MEAS", "Integ", "MEDIUM"));
    EXPECT_EQ(Get(), "[MEAS]\r\nInteg=MEDIUM\r\n");
    EXPECT_EQ(Names(), NameList({"Quillon.ini"}));
    EXPECT_EQ(Read("meas", "INTEG"), "MEDIUM");
}

TEST_F(ProfileWrite, SeveralWritesBuildSectionsInOrder)
{
    ASSERT_TRUE(Write("MEAS", "A", "1"));
    ASSERT_TRUE(Write("MEAS", "B", "2"));
    ASSERT_TRUE(Write("OTHER", "C", "3"));
    ASSERT_TRUE(Write("meas", "D", "4"));
    ASSERT_TRUE(Write("Other", "c", "33"));
    EXPECT_EQ(Get(), "[MEAS]\r\nA=1\r\nB=2\r\nD=4\r\n[OTHER]\r\nC=33\r\n");
}

TEST_F(ProfileWrite, ReplacingAKeyChangesOnlyItsValue)
{
    const std::string before =
        "; settings\r\n[MEAS]\r\n  integ \t= SHORT\r\nFreq=1000\r\n\r\n"
        "[Other]\r\nInteg=x\r\n";
    Put(before);
    ASSERT_TRUE(Write("Meas", "INTEG", "LONG"));
    EXPECT_EQ(Get(),
              "; settings\r\n[MEAS]\r\ninteg=LONG\r\nFreq=1000\r\n\r\n"
              "[Other]\r\nInteg=x\r\n");
    ASSERT_TRUE(Write("MEAS", "freq", ""));
    EXPECT_EQ(Get(),
              "; settings\r\n[MEAS]\r\ninteg=LONG\r\nFreq=\r\n\r\n"
              "[Other]\r\nInteg=x\r\n");
}

TEST_F(ProfileWrite, ReplacingKeepsTheLinesOwnTerminator)
{
    Put("[A]\nk=1\nj=2");
    ASSERT_TRUE(Write("A", "k", "10"));
    ASSERT_TRUE(Write("A", "j", "20"));
    EXPECT_EQ(Get(), "[A]\nk=10\nj=20");
}

TEST_F(ProfileWrite, NewKeyGoesAfterTheSectionsLastFilledLine)
{
    Put("[A]\r\nx=1\r\n\r\n\t \r\n[B]\r\ny=2\r\n");
    ASSERT_TRUE(Write("A", "new", "v"));
    EXPECT_EQ(Get(), "[A]\r\nx=1\r\nnew=v\r\n\r\n\t \r\n[B]\r\ny=2\r\n");
    // A comment or a line that is no key still belongs to the section.
    Put("[A]\r\nx=1\r\n; about B\r\n\r\n[B]\r\n");
    ASSERT_TRUE(Write("A", "new", "v"));
    EXPECT_EQ(Get(), "[A]\r\nx=1\r\n; about B\r\nnew=v\r\n\r\n[B]\r\n");
    // A section with nothing in it yet gets the key right below its header.
    Put("[A]\r\n\r\n[B]\r\n");
    ASSERT_TRUE(Write("A", "k", "1"));
    EXPECT_EQ(Get(), "[A]\r\nk=1\r\n\r\n[B]\r\n");
}

TEST_F(ProfileWrite, NewKeyGoesIntoTheFirstOfRepeatedSections)
{
    Put("[A]\r\nx=1\r\n[B]\r\n[a]\r\nk=old\r\n");
    ASSERT_TRUE(Write("A", "k", "new"));
    EXPECT_EQ(Get(), "[A]\r\nx=1\r\nk=new\r\n[B]\r\n[a]\r\nk=old\r\n");
    EXPECT_EQ(Read("A", "k"), "new");
}

TEST_F(ProfileWrite, MissingSectionIsAppendedAtTheEnd)
{
    Put("loose=1\r\n[A]\r\nx=1\r\n\r\n");
    ASSERT_TRUE(Write("B", "k", "v"));
    EXPECT_EQ(Get(), "loose=1\r\n[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n");
}

TEST_F(ProfileWrite, UnfinishedLastLineIsFinishedFirst)
{
    Put("[A]\r\nx=1");
    ASSERT_TRUE(Write("B", "k", "v"));
    EXPECT_EQ(Get(), "[A]\r\nx=1\r\n[B]\r\nk=v\r\n");

    Put("[A]\r\nx=1");
    ASSERT_TRUE(Write("A", "k", "v"));
    EXPECT_EQ(Get(), "[A]\r\nx=1\r\nk=v\r\n");

    Put("[A]\r\nx=1\r");
    ASSERT_TRUE(Write("B", "k", "v"));
    EXPECT_EQ(Get(), "[A]\r\nx=1\r\n[B]\r\nk=v\r\n");

    Put("");
    ASSERT_TRUE(Write("B", "k", "v"));
    EXPECT_EQ(Get(), "[B]\r\nk=v\r\n");
}

TEST_F(ProfileWrite, CommentsAndUnknownSectionsStayByteForByte)
{
    const std::string head =
        ";; Quillon settings\r\n[Window]\r\nLeft=10\r\n;Top=20\r\n"
        "odd line without equals\r\n   \r\n";
    const std::string tail = "[Plugins]\r\n; none\r\n";
    Put(head + tail);
    ASSERT_TRUE(Write("Window", "Top", "30"));
    ASSERT_TRUE(Write("MEAS", "Integ", "LONG"));
    EXPECT_EQ(Get(),
              ";; Quillon settings\r\n[Window]\r\nLeft=10\r\n;Top=20\r\n"
              "odd line without equals\r\nTop=30\r\n   \r\n" +
                  tail + "[MEAS]\r\nInteg=LONG\r\n");
}

TEST_F(ProfileWrite, LfOnlyFileKeepsItsLineEnds)
{
    Put("[A]\nx=1\n\n[B]\ny=2\n");
    ASSERT_TRUE(Write("A", "x", "5"));
    ASSERT_TRUE(Write("A", "z", "6"));
    ASSERT_TRUE(Write("C", "w", "7"));
    EXPECT_EQ(Get(), "[A]\nx=5\nz=6\r\n\n[B]\ny=2\n[C]\r\nw=7\r\n");
    EXPECT_EQ(Read("A", "z"), "6");
    EXPECT_EQ(Read("B", "y"), "2");
}

TEST_F(ProfileWrite, ByteOrderMarkIsKept)
{
    Put("\xEF\xBB\xBF[A]\r\nx=1\r\n");
    ASSERT_TRUE(Write("A", "x", "2"));
    ASSERT_TRUE(Write("B", "y", "3"));
    EXPECT_EQ(Get(), "\xEF\xBB\xBF[A]\r\nx=2\r\n[B]\r\ny=3\r\n");

    // Nothing but the mark: the new section needs no line end before it.
    Put("\xEF\xBB\xBF");
    ASSERT_TRUE(Write("A", "x", "1"));
    EXPECT_EQ(Get(), "\xEF\xBB\xBF[A]\r\nx=1\r\n");
}

TEST_F(ProfileWrite, LineBreaksInTheValueBecomeBlanks)
{
    ASSERT_TRUE(Write("A", "k", "one\r\n[B]\ntwo\rthree"));
    EXPECT_EQ(Get(), "[A]\r\nk=one  [B] two three\r\n");
    EXPECT_EQ(Read("B", "two", "none"), "none");
    EXPECT_EQ(Read("A", "k"), "one  [B] two three");
}

TEST_F(ProfileWrite, ValuesReadBackAsTheyWereWritten)
{
    const std::string bytes = "8-bit \xB5m \xE4\xF6";
    ASSERT_TRUE(Write("A", "unit", bytes));
    ASSERT_TRUE(Write("A", "quoted", "\"  padded  \""));
    EXPECT_EQ(Read("A", "unit"), bytes);
    EXPECT_EQ(Read("A", "quoted"), "  padded  ");
}

// --- Files that are no proper settings file --------------------------------

class ProfileDamagedFile : public ProfileFileTest {};

TEST_F(ProfileDamagedFile, BinaryGarbageStaysAndDoesNotStopReadOrWrite)
{
    std::mt19937 engine(20240611);
    std::string garbage(64 * 1024, '\0');
    for (char& c : garbage) c = static_cast<char>(engine() & 0xFF);
    Put(garbage);
    EXPECT_EQ(Read("MEAS", "Integ", "MEDIUM"), "MEDIUM");
    ASSERT_TRUE(Write("MEAS", "Integ", "LONG"));
    const std::string after = Get();
    ASSERT_GE(after.size(), garbage.size());
    EXPECT_EQ(after.substr(0, garbage.size()), garbage);
    EXPECT_EQ(Read("MEAS", "Integ"), "LONG");
}

TEST_F(ProfileDamagedFile, NulBytesAreKeptAndSkipped)
{
    const std::string nul(1, '\0');
    const std::string before =
        "[A]\r\n" + nul + nul + "junk\r\nk=1\r\n" + nul + "x" + nul + "=2\r\n[B" + nul + "]\r\n";
    Put(before);
    EXPECT_EQ(Read("A", "k"), "1");
    ASSERT_TRUE(Write("A", "k", "3"));
    ASSERT_TRUE(Write("A", "n", "4"));
    EXPECT_EQ(Get(), "[A]\r\n" + nul + nul + "junk\r\nk=3\r\n" + nul + "x" + nul +
                         "=2\r\nn=4\r\n[B" + nul + "]\r\n");
}

TEST_F(ProfileDamagedFile, HugeLine)
{
    const std::string huge(4 * 1024 * 1024, 'x');
    Put(huge + "\n[A]\nk=1\n");
    EXPECT_EQ(Read("A", "k"), "1");
    ASSERT_TRUE(Write("A", "j", "2"));
    EXPECT_EQ(Get(), huge + "\n[A]\nk=1\nj=2\r\n");

    Put("[A]\r\nk=" + huge + "\r\n");
    EXPECT_EQ(Read("A", "k", "", 255), huge.substr(0, 254));
}

TEST_F(ProfileDamagedFile, FolderInPlaceOfTheFile)
{
    fs::create_directory(Path());
    EXPECT_FALSE(Write("MEAS", "Integ", "LONG"));
    EXPECT_TRUE(fs::is_directory(Path()));
    EXPECT_TRUE(fs::is_empty(Path()));
    EXPECT_EQ(Names(), NameList({"Quillon.ini"}));
}

#ifndef _WIN32
TEST_F(ProfileDamagedFile, PipeInPlaceOfTheFile)
{
    ASSERT_EQ(mkfifo(Path().c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [this] { return Read("A", "k", "d"); });
    if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "reading waited for a writer to the pipe";
        // Lets the blocked read see the end of the pipe, so the test ends.
        std::ofstream writer(Path());
    }
    EXPECT_EQ(reading.get(), "d");
    EXPECT_FALSE(Write("A", "k", "v"));
    EXPECT_EQ(Names(), NameList({"Quillon.ini"}));
}
#endif

// --- Replacing the file ----------------------------------------------------

class ProfileReplace : public ProfileFileTest {};

TEST_F(ProfileReplace, NoTemporaryFileIsLeftBehind)
{
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(Write("A", "k" + std::to_string(i % 5), std::to_string(i)));
    }
    EXPECT_EQ(Names(), NameList({"Quillon.ini"}));
    EXPECT_EQ(Read("A", "k4"), "19");
}

TEST_F(ProfileReplace, TheLongestNameAFolderTakesCanBeReplaced)
{
    // The temporary name beside it must not be longer than the name itself.
    const std::string longest(255, 'n');
    EXPECT_EQ(ReplaceFileContent(Path(longest), "one"), std::nullopt);
    EXPECT_EQ(ReplaceFileContent(Path(longest), "two"), std::nullopt);
    EXPECT_EQ(Get(longest), "two");
    EXPECT_EQ(Names(), NameList({longest}));
}

TEST_F(ProfileReplace, MissingFolderFails)
{
    EXPECT_FALSE(WriteProfileString(Path("absent/Quillon.ini"), "A", "k", "v"));
    EXPECT_TRUE(Names().empty());
}

TEST_F(ProfileReplace, PermissionBitsAreKept)
{
    Put("[A]\r\nk=1\r\n");
    fs::permissions(Path(), fs::perms(0640));
    ASSERT_TRUE(Write("A", "k", "2"));
    EXPECT_EQ(fs::status(Path()).permissions(), fs::perms(0640));
    EXPECT_EQ(Get(), "[A]\r\nk=2\r\n");
}

#ifndef _WIN32

TEST_F(ProfileReplace, UnwritableFolderFailsAndLeavesTheFile)
{
    const std::string before = "[A]\nk=1\n";
    Put(before);
    fs::permissions(folder_, fs::perms(0555));
    const std::optional<bool> written = AttemptWhereBitsCount([this] {
        return Write("A", "k", "2") || Write("B", "k", "2") ||
               WriteProfileString(Path("New.ini"), "A", "k", "v");
    });
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
    if (!written) GTEST_SKIP() << "cannot run as a user without write access here";
    EXPECT_FALSE(*written);
    EXPECT_EQ(Get(), before);
    EXPECT_EQ(Names(), NameList({"Quillon.ini"}));
}

TEST_F(ProfileReplace, ReadOnlyFileFailsAndStaysAsItWas)
{
    const std::string before = "[A]\r\nk=1\r\n";
    Put(before);
    fs::permissions(Path(), fs::perms(0444));
    const std::optional<bool> written =
        AttemptWhereBitsCount([this] { return Write("A", "k", "2") || Write("B", "k", "2"); });
    if (!written) GTEST_SKIP() << "cannot run as a user without write access here";
    EXPECT_FALSE(*written);
    EXPECT_EQ(Get(), before);
    EXPECT_EQ(fs::status(Path()).permissions(), fs::perms(0444));
    EXPECT_EQ(Names(), NameList({"Quillon.ini"}));
}

TEST_F(ProfileReplace, UnreadableFileIsNotOverwritten)
{
    // Without reading it the other settings in it would be lost.
    Put("[A]\r\nk=1\r\n");
    fs::permissions(Path(), fs::perms(0200));
    const std::optional<bool> written =
        AttemptWhereBitsCount([this] { return Write("A", "j", "2"); });
    fs::permissions(Path(), fs::perms(0600));
    if (!written) GTEST_SKIP() << "cannot run as a user without read access here";
    EXPECT_FALSE(*written);
    EXPECT_EQ(Get(), "[A]\r\nk=1\r\n");
    EXPECT_EQ(Names(), NameList({"Quillon.ini"}));
}

TEST_F(ProfileReplace, FullDiskFailsAndLeavesNoTemporaryFile)
{
    // A file size limit makes the write fail the way a full disk does,
    // after part of the new content is already in the temporary file.
    const std::string before = "[A]\r\nk=" + std::string(16 * 1024, 'x') + "\r\n";
    Put(before);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = std::min<rlim_t>(4096, saved.rlim_max);
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = Write("A", "j", "1");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(Get(), before);
    EXPECT_EQ(Names(), NameList({"Quillon.ini"}));
}

TEST_F(ProfileReplace, SymlinkIsWrittenThrough)
{
    fs::create_directory(folder_ / "real");
    Put("[A]\r\nk=1\r\n", "real/settings.ini");
    fs::create_symlink(fs::path("real") / "settings.ini", folder_ / "Quillon.ini");
    EXPECT_EQ(Read("A", "k"), "1");
    ASSERT_TRUE(Write("A", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(Path())));
    EXPECT_EQ(Get("real/settings.ini"), "[A]\r\nk=2\r\n");
    EXPECT_EQ(Names(), NameList({"Quillon.ini", "real"}));
    EXPECT_EQ(Names(folder_ / "real"), NameList({"settings.ini"}));
}

TEST_F(ProfileReplace, SymlinkChainAndDanglingLink)
{
    fs::create_directory(folder_ / "real");
    fs::create_symlink(folder_ / "real" / "settings.ini", folder_ / "middle.ini");
    fs::create_symlink("middle.ini", folder_ / "Quillon.ini");
    // A link to a file not there yet creates that file.
    ASSERT_TRUE(Write("A", "k", "1"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(Path())));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(Path("middle.ini"))));
    EXPECT_EQ(Get("real/settings.ini"), "[A]\r\nk=1\r\n");
    EXPECT_EQ(Names(folder_ / "real"), NameList({"settings.ini"}));
}

TEST_F(ProfileReplace, SymlinkLoopFails)
{
    fs::create_symlink("b.ini", folder_ / "a.ini");
    fs::create_symlink("a.ini", folder_ / "b.ini");
    EXPECT_EQ(ReadProfileString(Path("a.ini"), "A", "k", "d", 10), "d");
    EXPECT_FALSE(WriteProfileString(Path("a.ini"), "A", "k", "v"));
    EXPECT_EQ(Names(), NameList({"a.ini", "b.ini"}));
}

#endif

}  // namespace
}  // namespace quillon
