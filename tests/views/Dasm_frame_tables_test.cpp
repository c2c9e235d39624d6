// The disassembly view's decoding against independent references: every
// instruction length against z80dasm's decoding (tests/data/disasm), every
// T-state count against the cycles SingleStepTests recorded from the chip,
// and the backward walk over known code and over random bytes.
#include "tests/views/Debugger_views_fixture.h"
#include "tests/support/Single_step_archive.h"

#include "tools/Z80_mnemonic.h"
#include "views/Dasm_frame.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string TestData = QUORVANE_TESTDATA_DIR "/z80";

using TStates = TDasmF::TTStates;

u32 Length(TArrayMemory& memory, u32 address = 0x8000)
{
    return TDasmF::InstructionLength(memory, address);
}

// One line of the z80dasm vectors: "DD 21 F5 3C 00 00 00 00|4|LD IX,3CF5".
struct TVector {
    std::vector<u8> Bytes;
    u32 Length = 0;
    std::string Text;
};

std::vector<TVector> ReadDisasmVectors()
{
    std::vector<TVector> vectors;
    std::ifstream in(QUORVANE_FIXTURES_DIR "/disasm/vectors.txt");
    std::string line;
    while (std::getline(in, line)) {
        const size_t bar1 = line.find('|');
        const size_t bar2 = line.find('|', bar1 + 1);
        if (bar1 == std::string::npos || bar2 == std::string::npos)
            continue;
        TVector v;
        std::istringstream bytes(line.substr(0, bar1));
        std::string hex;
        while (bytes >> hex)
            v.Bytes.push_back(static_cast<u8>(std::stoi(hex, nullptr, 16)));
        v.Length = static_cast<u32>(std::stoul(line.substr(bar1 + 1, bar2 - bar1 - 1)));
        v.Text = line.substr(bar2 + 1);
        vectors.push_back(std::move(v));
    }
    return vectors;
}

// The vectors unpacked under a folder of this test's own, so it never races
// another test reading the same archive.
fs::path Unpacked(const std::string& archive, const std::string& folder)
{
    return UnpackSingleStepArchive(archive, "dasm-singlestep/" + folder);
}

} // namespace

TEST(DasmDecoding, EveryLengthAgreesWithZ80dasmAndTheDisassembler)
{
    const std::vector<TVector> vectors = ReadDisasmVectors();
    ASSERT_EQ(vectors.size(), 1780u);
    TArrayMemory memory;
    TZ80Mnm mnemonics(&memory);
    int compared = 0;
    for (const TVector& v : vectors) {
        std::fill(memory.Bytes.begin(), memory.Bytes.end(), 0);
        for (size_t i = 0; i < v.Bytes.size(); ++i)
            memory.Bytes[0x8000 + i] = v.Bytes[i];
        const u32 length = Length(memory);
        // The rows painted must agree with the mnemonic shown beside them.
        mnemonics.Disassemble(0x8000);
        EXPECT_EQ(length, u32(mnemonics.GetNextAddress() - 0x8000)) << v.Text;
        // z80dasm gives no length of its own for what it calls ILLEGAL.
        if (v.Text == "ILLEGAL")
            continue;
        EXPECT_EQ(length, v.Length) << v.Text;
        ++compared;
    }
    EXPECT_GT(compared, 1200);
}

TEST(DasmDecoding, PrefixesChainAndARunEndsWhereTheProcessorEndsIt)
{
    TArrayMemory memory;
    struct TCase {
        std::vector<u8> Bytes;
        u32 Length;
        const char* States;
    };
    for (const TCase& c : {TCase{{0xDD, 0xCB, 0x05, 0x06}, 4, "23"}, TCase{{0xDD, 0x7E, 0x05}, 3, "19"},
                           TCase{{0xDD, 0x21, 0x34, 0x12}, 4, "14"}, TCase{{0xDD, 0xDD, 0x21, 0x34, 0x12}, 5, "18"},
                           TCase{{0xDD, 0xED, 0x43, 0x34, 0x12}, 5, "24"}, TCase{{0xDD, 0xED, 0x44}, 3, "12"},
                           TCase{{0xFD, 0xDD, 0x36, 0x01, 0x02}, 5, "23"}, TCase{{0xED, 0x00}, 2, "8"}}) {
        std::fill(memory.Bytes.begin(), memory.Bytes.end(), 0);
        memory.Put(0x8000, c.Bytes);
        EXPECT_EQ(Length(memory), c.Length) << c.States;
        EXPECT_EQ(TDasmF::TStatesText(TDasmF::TStates(memory, 0x8000)), c.States);
    }
    // Memory full of prefixes: one instruction of the processor's limit, and
    // the disassembler shows the same span.
    std::fill(memory.Bytes.begin(), memory.Bytes.end(), 0xFD);
    EXPECT_EQ(Length(memory), u32(TZ80Mnm::MaxPrefixes));
    TZ80Mnm mnemonics(&memory);
    mnemonics.Disassemble(0x8000);
    EXPECT_EQ(u32(u16(mnemonics.GetNextAddress() - 0x8000)), u32(TZ80Mnm::MaxPrefixes));
    EXPECT_EQ(TDasmF::TStates(memory, 0x8000), (TStates{4 * TZ80Mnm::MaxPrefixes, 0}));
}

TEST(DasmDecoding, ConditionalTimesShowTheirExtra)
{
    TArrayMemory memory;
    struct TCase {
        std::vector<u8> Bytes;
        const char* States;
    };
    for (const TCase& c : {TCase{{0xED, 0xB0}, "16+5"}, TCase{{0x20, 0x00}, "7+5"}, TCase{{0xC4, 0, 0}, "10+7"},
                           TCase{{0xC0}, "5+6"}, TCase{{0x10, 0x00}, "8+5"}, TCase{{0xDD, 0x20, 0}, "11+5"}}) {
        memory.Put(0x8000, c.Bytes);
        EXPECT_EQ(TDasmF::TStatesText(TDasmF::TStates(memory, 0x8000)), c.States);
    }
}

// Every opcode of every page (the first 50 recorded cases each): the
// T-states the chip took are the base, or base + extra for a taken
// condition or a repeat.
class DasmSingleStep : public testing::TestWithParam<const char*> {};

TEST_P(DasmSingleStep, TStatesMatchTheRecordedCycles)
{
    const std::string name = GetParam();
    const fs::path root = Unpacked(TestData + "/singlestep/v1-first50/" + name + ".tar.xz", "first50-" + name);
    ASSERT_FALSE(root.empty()) << "cannot unpack " << name;
    TArrayMemory memory;
    int files = 0;
    int cases = 0;
    int takenExtras = 0;
    std::vector<std::string> failures;
    for (const auto& entry : fs::directory_iterator(root)) {
        if (entry.path().extension() != ".json")
            continue;
        ++files;
        QFile file(QString::fromStdString(entry.path().string()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << entry.path();
        const QJsonArray tests = QJsonDocument::fromJson(file.readAll()).array();
        ASSERT_FALSE(tests.isEmpty()) << entry.path();
        for (const QJsonValue& value : tests) {
            const QJsonObject test = value.toObject();
            const QJsonObject initial = test.value(QStringLiteral("initial")).toObject();
            for (const QJsonValue& pair : initial.value(QStringLiteral("ram")).toArray()) {
                const QJsonArray p = pair.toArray();
                memory.Bytes[std::size_t(p.at(0).toInt()) & 0xFFFF] = static_cast<u8>(p.at(1).toInt());
            }
            const u32 pc = static_cast<u32>(initial.value(QStringLiteral("pc")).toInt());
            const int taken = int(test.value(QStringLiteral("cycles")).toArray().size());
            const TStates states = TDasmF::TStates(memory, pc);
            ++cases;
            if (taken == states.Base + states.Extra && states.Extra != 0)
                ++takenExtras;
            else if (taken != states.Base && failures.size() < 20)
                failures.push_back(test.value(QStringLiteral("name")).toString().toStdString() + ": took "
                                   + std::to_string(taken) + ", shown " + TDasmF::TStatesText(states));
        }
    }
    EXPECT_TRUE(failures.empty()) << failures.size() << " differ, first: " << (failures.empty() ? "" : failures.front());
    EXPECT_GT(files, 70);
    EXPECT_GE(cases, files * 50);
    if (name == std::string("base") || name == std::string("ed")) {
        EXPECT_GT(takenExtras, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, DasmSingleStep, testing::Values("base", "cb", "ed", "dd", "fd", "ddcb", "fdcb"));

// ---------------------------------------------------------------------------
// Walking backwards

namespace {

class DasmWalk : public ::testing::Test {
protected:
    DasmWalk()
    {
        auto memory = std::make_unique<TArrayMemory>();
        Memory = memory.get();
        View.SetSource(std::move(memory), nullptr);
    }

    QWidget Owner;
    TDasmF View{&Owner};
    TArrayMemory* Memory;
};

} // namespace

TEST_F(DasmWalk, UpStepsBackOverWholeInstructions)
{
    // LD BC,nn throughout, from 0x8000: each one three bytes back.
    for (u32 a = 0x8000 - 3 * 1000; a < 0x9000; a += 3)
        Memory->Put(static_cast<u16>(a), {0x01, 0x00, 0x00});
    for (u32 a = 0x8000; a < 0x8100; a += 3)
        EXPECT_EQ(View.PrevInstruction(a), a - 3) << std::hex << a;
    // Mixed lengths: DD CB d op, LD A,n, NOP, CALL nn, ED B0.
    std::fill(Memory->Bytes.begin(), Memory->Bytes.end(), 0);
    const std::vector<std::vector<u8>> code = {
        {0xDD, 0xCB, 0x01, 0x06}, {0x3E, 0x07}, {0x00}, {0xCD, 0x34, 0x12}, {0xED, 0xB0}};
    std::vector<u32> starts;
    u32 a = 0x8000;
    for (int round = 0; round < 6; ++round)
        for (const auto& instruction : code) {
            starts.push_back(a);
            Memory->Put(static_cast<u16>(a), instruction);
            a += u32(instruction.size());
        }
    for (size_t i = 6; i < starts.size(); ++i)
        EXPECT_EQ(View.PrevInstruction(starts[i]), starts[i - 1]) << std::hex << starts[i];
}

TEST_F(DasmWalk, TheWalkCrossesTheEndOfMemoryAndFallsBackOneByte)
{
    std::fill(Memory->Bytes.begin(), Memory->Bytes.end(), 0);
    Memory->Put(0xFFFD, {0x01, 0x00, 0x00});
    EXPECT_EQ(View.PrevInstruction(0), 0xFFFDu);
    EXPECT_EQ(View.PrevInstruction(0xFFFD), 0xFFFCu);
    // No walk lands on the address in a sea of prefixes: one byte back.
    std::fill(Memory->Bytes.begin(), Memory->Bytes.end(), 0xDD);
    EXPECT_EQ(View.PrevInstruction(0x8000), 0x7FFFu);
    EXPECT_EQ(View.PrevInstruction(0), 0xFFFFu);
}

TEST_F(DasmWalk, TheGuessTakesTheLongestFittingInstructionButNeverWraps)
{
    std::fill(Memory->Bytes.begin(), Memory->Bytes.end(), 0);
    Memory->Put(0x7FFD, {0x21, 0x00, 0x00});  // LD HL,nn ending at 0x8000
    EXPECT_EQ(View.PrevGuess(0x8000), 0x7FFDu);
    EXPECT_EQ(View.PrevGuess(0x8001), 0x8000u);  // NOP
    Memory->Put(0xFFFE, {0x21, 0x00, 0x00});      // wraps over 0
    EXPECT_EQ(View.PrevGuess(1), 1u);
}

TEST_F(DasmWalk, RandomBytesNeverHangOrLeaveTheAddressSpace)
{
    std::mt19937 random(20240607);
    for (int round = 0; round < 8; ++round) {
        for (u8& b : Memory->Bytes)
            b = static_cast<u8>(random());
        // Bias some rounds towards prefixes and block prefixes.
        if (round % 2)
            for (int i = 0; i < 20000; ++i)
                Memory->Bytes[random() & 0xFFFF] = std::array<u8, 4>{0xDD, 0xFD, 0xCB, 0xED}[random() & 3];
        for (int i = 0; i < 2000; ++i) {
            const u32 a = random() & 0xFFFF;
            const u32 length = TDasmF::InstructionLength(*Memory, a);
            ASSERT_GE(length, 1u);
            ASSERT_LE(length, u32(TZ80Mnm::MaxPrefixes) + 3);
            const TStates states = TDasmF::TStates(*Memory, a);
            ASSERT_GE(states.Base, 4);
            const u32 previous = View.PrevInstruction(a);
            ASSERT_LE(previous, 0xFFFFu);
            ASSERT_LE((a - previous) & 0xFFFF, 16u);
            ASSERT_LE(View.NextInstruction(a), 0xFFFFu);
        }
    }
}
