// The list reader over directories of every kind of entry, in both open modes (this file is
// built once per mode), with faults injected through the test build of the system layer.
#include "harness.h"
#include "readrace.h"

#include <gtest/gtest.h>
#include <regex>

#ifndef READRACE_OPEN_FLAGS
#error "READRACE_OPEN_FLAGS must be set"
#endif

extern const DWORD OpenFlags = READRACE_OPEN_FLAGS;
extern const wchar_t DeliverableName[] = L"readrace_test";

namespace {

using harness::Entry;
using harness::Layout;

struct ListCase {
    const char* title;
    std::vector<Layout> layout;
    std::vector<const wchar_t*> names; // the list, without its null end
    std::string fault;                 // READRACE_FAULTS, or empty
    // One expected diagnostic per name ("" for none), after "readrace_test: NAME: ".
    std::vector<std::string> reasons;
};

constexpr unsigned long long Gib4 = 1ull << 32;

std::vector<ListCase> Cases() {
    return {
        {"empty list prints nothing", {}, {}, "", {}},
        {"whole files of odd and even sizes",
         {{"a.tmp", Entry::Random, 10000},
          {"b.tmp", Entry::Random, 1 << 20},
          {"c.tmp", Entry::Random, 1}},
         {L"a.tmp", L"b.tmp", L"c.tmp"},
         "",
         {"", "", ""}},
        {"zero-length file is read whole", {{"z.tmp", Entry::Empty}}, {L"z.tmp"}, "", {""}},
        {"missing file", {}, {L"m.tmp"}, "", {"cannot open: No such file or directory"}},
        {"directory",
         {{"d.tmp", Entry::Directory}},
         {L"d.tmp"},
         "",
         {"cannot open: Is a directory"}},
        {"fifo never blocks",
         {{"f.tmp", Entry::Fifo}},
         {L"f.tmp"},
         "",
         {"cannot open: Not a regular file"}},
        {"dangling symlink",
         {{"l.tmp", Entry::DanglingLink}},
         {L"l.tmp"},
         "",
         {"cannot open: No such file or directory"}},
        {"symlink to /dev/zero",
         {{"z.tmp", Entry::LinkToDevZero}},
         {L"z.tmp"},
         "",
         {"cannot open: Not a regular file"}},
        {"4 GiB and more is read only as far as its low 32 bits",
         {{"big.tmp", Entry::Sparse, Gib4 + 4096}},
         {L"big.tmp"},
         "",
         {"only 4096 of its 4294971392 bytes read: a length of 4 GiB or more does not fit the size "
          "query"}},
        {"low 32 bits all set",
         {{"ff.tmp", Entry::Sparse, 0xFFFFFFFFull}},
         {L"ff.tmp"},
         "",
         {"not read: the low 32 bits of its length (4294967295 bytes) are all set"}},
        {"one bad file does not stop the list",
         {{"a.tmp", Entry::Random, 5000}, {"c.tmp", Entry::Random, 7000}},
         {L"a.tmp", L"b.tmp", L"c.tmp"},
         "",
         {"", "cannot open: No such file or directory", ""}},
        {"open fails with EMFILE",
         {{"a.tmp", Entry::Random, 100}},
         {L"a.tmp"},
         "CreateFileW:a.tmp=EMFILE",
         {"cannot open: Too many open files"}},
        {"open fails with EACCES",
         {{"a.tmp", Entry::Random, 100}},
         {L"a.tmp"},
         "CreateFileW:a.tmp=EACCES",
         {"cannot open: Permission denied"}},
        {"size query fails",
         {{"a.tmp", Entry::Random, 100}},
         {L"a.tmp"},
         "GetFileSize:a.tmp=EIO",
         {"cannot get size: Input/output error"}},
        {"read fails with EIO",
         {{"a.tmp", Entry::Random, 8192}},
         {L"a.tmp"},
         "ReadFile:a.tmp=EIO",
         {"read failed after 0 of 8192 bytes: Input/output error"}},
        {"short read",
         {{"a.tmp", Entry::Random, 8192}},
         {L"a.tmp"},
         "ReadFile:a.tmp=short",
         {"short read: 4096 of 8192 bytes"}},
        {"no buffer for a non-empty file",
         {{"a.tmp", Entry::Random, 8192}},
         {L"a.tmp"},
         "AllocateBuffer:8192=null",
         {"not read: cannot allocate 8192 bytes"}},
        {"no buffer for an empty file is no failure",
         {{"z.tmp", Entry::Empty}},
         {L"z.tmp"},
         "AllocateBuffer:0=null",
         {""}},
    };
}

std::string Narrow(const wchar_t* wide) {
    std::string text;
    for (; *wide != L'\0'; ++wide) {
        text += (char)*wide;
    }
    return text;
}

TEST(ReadFileList, PrintsOneLinePerFileAndReportsEachFailure) {
    for (const ListCase& c : Cases()) {
        SCOPED_TRACE(c.title);
        harness::ScratchDir dir;
        harness::LayOut(dir.path(), c.layout);
        const auto before = harness::Snapshot(dir.path());

        std::vector<const wchar_t*> list = c.names;
        list.push_back(nullptr);
        harness::RunOptions options;
        if (!c.fault.empty()) {
            options.environment.push_back("READRACE_FAULTS=" + c.fault);
        }
        const harness::Captured run = harness::RunInChild(
            dir.path(), [&] { return (int)ReadFileList((LPVOID)list.data()); }, options);

        std::string expectedErr;
        int failures = 0;
        const auto lines = harness::SplitLines(run.out);
        ASSERT_EQ(lines.size(), c.names.size()) << run.out;
        for (size_t i = 0; i < c.names.size(); ++i) {
            const std::string name = Narrow(c.names[i]);
            EXPECT_TRUE(std::regex_match(lines[i], std::regex("\\* " + name + " -?[0-9]+")))
                << lines[i];
            if (!c.reasons[i].empty()) {
                expectedErr += "readrace_test: " + name + ": " + c.reasons[i] + "\n";
                ++failures;
            }
        }
        EXPECT_TRUE(run.out.empty() || run.out.back() == '\n');
        EXPECT_EQ(run.err, expectedErr);
        EXPECT_EQ(run.status, failures);
        EXPECT_EQ(harness::Snapshot(dir.path()), before) << "the directory changed";
    }
}

TEST(RoundUpReadSize, RoundsToTheAlignmentAndNeverPastWhatADwordHolds) {
    struct {
        DWORD size, alignment, expected;
    } const cases[] = {
        {0, 4096, 0},
        {1, 4096, 4096},
        {4095, 4096, 4096},
        {4096, 4096, 4096},
        {4097, 4096, 8192},
        {10000, 512, 10240},
        {10000, 65536, 65536},
        {0xFFFFF000u, 4096, 0xFFFFF000u},
        {0xFFFFF001u, 4096, 0xFFFFF000u},
        {0xFFFFFFFEu, 4096, 0xFFFFF000u},
        {0xFFFF0001u, 65536, 0xFFFF0000u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RoundUpReadSize(c.size, c.alignment), c.expected)
            << c.size << " to " << c.alignment;
    }
}

TEST(GetDirectIoAlignment, IsAPowerOfTwoOfAtLeast4096) {
    harness::ScratchDir dir;
    harness::WriteRandomFile(dir / "a.tmp", 1);
    const harness::Captured run = harness::RunInChild(dir.path(), [] {
        const DWORD alignments[2] = {GetDirectIoAlignment(L"a.tmp"),
                                     GetDirectIoAlignment(L"missing.tmp")};
        for (DWORD alignment : alignments) {
            if (alignment < 4096 || (alignment & (alignment - 1)) != 0) {
                return 1;
            }
        }
        return 0;
    });
    EXPECT_EQ(run.status, 0);
}

} // namespace
