// Every instruction form of the assembler, expanded over its operand sets,
// against bytes made by peer tools (Debian's pasmo, and z80dasm for the forms
// pasmo does not know): tests/data/asm/vectors.txt and make.sh beside it.
// The undocumented forms also make a round trip through our disassembler:
// its text of the bytes must assemble to the same bytes.
#include "tools/Quick_asm.h"

#include "core/Data_array.h"
#include "core/Hex_text.h"
#include "tools/Z80_mnemonic.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr u16 Origin = 0x8000;

struct TVector {
    int Form = 0;
    std::string Source;
    std::vector<u8> Code;
    std::string Reference;
    int Line = 0;
};

std::vector<TVector> LoadVectors()
{
    std::ifstream file(QUORVANE_FIXTURES_DIR "/asm/vectors.txt");
    std::vector<TVector> vectors;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        std::stringstream stream(line);
        for (std::string field; std::getline(stream, field, '\t');)
            fields.push_back(field);
        if (fields.size() != 4)
            throw std::runtime_error("vectors.txt line " + std::to_string(number) + " is malformed");
        TVector vector;
        vector.Form = std::stoi(fields[0]);
        vector.Source = fields[1];
        std::stringstream bytes(fields[2]);
        for (std::string byte; bytes >> byte;)
            vector.Code.push_back(static_cast<u8>(std::stoul(byte, nullptr, 16)));
        vector.Reference = fields[3];
        vector.Line = number;
        vectors.push_back(vector);
    }
    return vectors;
}

std::vector<u8> Assemble(const std::string& text, std::string& message)
{
    const TQAResult* result = g_QuickAsm.Assemble(Origin, text);
    if (result->Error != 0) {
        message = result->Message;
        return {};
    }
    return {result->Code.begin(), result->Code.begin() + result->Size};
}

TEST(QuickAsmVectors, EveryFormMatchesPeerTools)
{
    const std::vector<TVector> vectors = LoadVectors();
    ASSERT_GE(vectors.size(), 1700u);
    std::set<int> forms;
    int failures = 0;
    for (const TVector& vector : vectors) {
        forms.insert(vector.Form);
        std::string message;
        const std::vector<u8> code = Assemble(vector.Source, message);
        if (code != vector.Code && ++failures <= 20)
            ADD_FAILURE() << "line " << vector.Line << " (form " << vector.Form << ", " << vector.Reference
                          << "): " << vector.Source << (message.empty() ? "" : " -> " + message);
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(forms.size(), TQuickAsm::PatternCount);
}

// 64K of RAM whose byte and word texts carry the "#" the assembler needs.
class TFlatMemory : public TDataArray {
public:
    std::array<u8, 0x10000> Bytes{};

    std::string GetAddressText(u16 index) override { return HexWord(index); }
    std::string GetByteText(u16 index) override { return HexBytePrefixed(Bytes[index]); }
    std::string GetWordText(u16 index) override
    {
        return HexWordPrefixed(static_cast<u16>(Bytes[index] | Bytes[static_cast<u16>(index + 1)] << 8));
    }
    u8 GetByte(u16 index) override { return Bytes[index]; }
    i32 GetSize() override { return 0x10000; }
    void SetByte(u16 index, u8 value) override { Bytes[index] = value; }
};

// The undocumented forms: index halves, SLL, the register copies of the
// indexed rotates and SET/RES, and IN (C), IN F,(C), OUT (C),0.
bool IsUndocumented(const TVector& vector)
{
    static const std::set<int> forms = {19, 20, 21, 22, 23, 24, 25, 26, 65, 66, 67, 68, 69, 70, 97, 101, 128, 129, 130};
    return forms.count(vector.Form) || vector.Source.rfind("SLL", 0) == 0;
}

// The disassembler writes displacements as bare hexadecimal, "(IX+12)";
// the assembler reads "#" hexadecimal: "(IX+#12)".
std::string PrefixDisplacements(const std::string& text)
{
    std::string prefixed;
    for (size_t k = 0; k < text.size(); ++k) {
        prefixed += text[k];
        const bool sign = text[k] == '+' || text[k] == '-';
        if (sign && k >= 3 && (text.compare(k - 3, 3, "(IX") == 0 || text.compare(k - 3, 3, "(IY") == 0))
            prefixed += '#';
    }
    return prefixed;
}

TEST(QuickAsmVectors, UndocumentedFormsRoundTripThroughTheDisassembler)
{
    int checked = 0;
    for (const TVector& vector : LoadVectors()) {
        if (!IsUndocumented(vector))
            continue;
        ++checked;
        std::string message;
        const std::vector<u8> code = Assemble(vector.Source, message);
        ASSERT_EQ(code, vector.Code) << vector.Source << " " << message;

        TFlatMemory memory;
        for (size_t k = 0; k < code.size(); ++k)
            memory.Bytes[Origin + k] = code[k];
        TZ80Mnm disassembler(&memory);
        const std::string text = disassembler.Disassemble(Origin);
        EXPECT_EQ(disassembler.GetNextAddress(), Origin + code.size()) << vector.Source << " -> " << text;

        const std::string again = PrefixDisplacements(text);
        EXPECT_EQ(Assemble(again, message), code) << vector.Source << " -> " << text << " " << message;
    }
    EXPECT_GT(checked, 850);
}

} // namespace
