#include "media/Tape.h"

#include "core/Hex_text.h"
#include "media/File.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr const char* CorruptText = "Unsupported tape image format or file corrupt!";

// Text from the file is Latin-1; the program's text is UTF-8.
std::string Latin1ToUtf8(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const u8 b = static_cast<u8>(c);
        if (b < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | b >> 6);
            text += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return text;
}

// Trailing blanks and control characters go (a name padded with spaces).
std::string TrimRight(std::string text)
{
    while (!text.empty() && static_cast<u8>(text.back()) <= 0x20)
        text.pop_back();
    return text;
}

// A name from the file as it is shown: a tape header's name, a custom-info
// identifier.
std::string ShownName(std::string bytes)
{
    return Latin1ToUtf8(TrimRight(std::move(bytes)));
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and access

TTape::TTape(std::unique_ptr<TFile> file, i32 type) : File(std::move(file)), Type(type)
{
    if (!File)
        File = std::make_unique<TFile>(std::string());
    ByteSum = File->GetSum();
    if (type == TypeTZX)
        LoadTZX();
    else if (type == TypeTAP)
        LoadTAP();
    else
        throw TTextError("Invalid Tape Image file type.");
}

TTape::~TTape() = default;

std::string TTape::GetBlockName(i32 index) const
{
    return index >= 0 && index < GetBlockCount() ? Blocks[static_cast<size_t>(index)].Name : std::string();
}

const TTapeBlockInfo* TTape::GetBlockInfo(i32 index) const
{
    return index >= 0 && index < GetBlockCount() ? &Blocks[static_cast<size_t>(index)].Info : nullptr;
}

bool TTape::SelectBlock(i32 index)
{
    if (index < -1)
        return false;
    if (index != -1)
        CurrentIndex = std::min(index, GetBlockCount());
    if (CurrentIndex >= GetBlockCount())
        return false;
    CurrentInfo = &Blocks[static_cast<size_t>(CurrentIndex)].Info;
    File->SetPosition(CurrentInfo->Offset);
    return true;
}

u8 TTape::ReadNextByte()
{
    return File->ReadByte();
}

double TTape::TStatesToDays(i64 tstates)
{
    const long double days = static_cast<long double>(tstates) * (1.0L / 3'500'000.0L) * (1.0L / 24.0L) *
                             (1.0L / 60.0L) * (1.0L / 60.0L);
    return static_cast<double>(days);
}

double TTape::MillisecondsToDays(i64 milliseconds)
{
    const long double days =
        static_cast<long double>(milliseconds) * (1.0L / 24.0L) * (1.0L / 60.0L) * (1.0L / 60.0L) * 0.001L;
    return static_cast<double>(days);
}

void TTape::AddBlock(const std::string& name, u32 offset, double duration, double start)
{
    Blocks.push_back(TBlock{name, TTapeBlockInfo{offset, duration, start}});
}

void TTape::SetStandardTiming()
{
    OnePulse = StandardOnePulse;
    ZeroPulse = StandardZeroPulse;
    PilotPulse = StandardPilotPulse;
    Sync1 = StandardSync1;
    Sync2 = StandardSync2;
    HeaderPilotCount = StandardHeaderPilotCount;
    DataPilotCount = StandardDataPilotCount;
    UsedBits = StandardUsedBits;
}

// ---------------------------------------------------------------------------
// Standard blocks (TAP, and the TZX blocks that carry ROM-format data)

void TTape::AddByteTime(u8 b, i32 count)
{
    // One pulse length per bit, not the two equal pulses a bit takes on
    // tape: the listed times are the catalogue's own measure.
    for (i32 k = 0; k < count; ++k) {
        TStateSum += (b & 0x80) ? OnePulse : ZeroPulse;
        b = static_cast<u8>(b << 1);
    }
}

std::string TTape::DescribeStandardBlock(i64 n)
{
    if (n == 0)
        return "Nonstandard Zero";
    const i64 start = File->GetPosition();
    if (n < 0 || start + n > File->GetSize())
        throw TTextError(CorruptText);

    const u8 flag = File->ReadByte();
    TStateSum = i64(flag < 128 ? HeaderPilotCount : DataPilotCount) * PilotPulse + Sync1 + Sync2;

    std::string text;
    if (flag == 0 && n == 19) {
        const u8 type = File->ReadByte();
        const std::string name = ShownName(File->ReadString(10));
        const u16 length = File->ReadWord();
        const u16 parameter1 = File->ReadWord();
        const u16 parameter2 = File->ReadWord();
        text = "Header, ";
        switch (type) {
        case 0:
            text += "Program \"" + name + "\", Length " + std::to_string(length) + ", Line " +
                    std::to_string(parameter1) + ", Vars " + std::to_string(parameter2);
            break;
        case 1: text += "Number Array \"" + name + "\""; break;
        case 2: text += "Character Array \"" + name + "\""; break;
        case 3:
            text += "Code \"" + name + "\", Length " + std::to_string(length) + ", Start " +
                    std::to_string(parameter1);
            break;
        default: text += "Nonstandard"; break;
        }
    } else if (flag == 0xFF) {
        text = "Data Block, Length " + std::to_string(n - 2);
    } else {
        text = "Nonstandard, ID " + HexBytePrefixed(flag) + ", Length " + std::to_string(n - 2);
    }

    // The bit times of the block as it lies in the file (checked above).
    const std::span<const u8> bytes = File->GetBytes().subspan(static_cast<size_t>(start), static_cast<size_t>(n));
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        AddByteTime(bytes[i], 8);
    AddByteTime(bytes.back(), UsedBits);
    File->SetPosition(start + n);

    BlockTime += TStatesToDays(TStateSum);
    return text;
}

// ---------------------------------------------------------------------------
// TAP: length words, each followed by a standard block

void TTape::LoadTAP()
{
    if (File->GetSize() < 3)
        throw TTextError("Error! TAP file size too small!");
    Blocks.clear();
    TotalTime = 0.0;
    SetStandardTiming();
    while (!File->IsEof()) {
        const u32 offset = static_cast<u32>(File->GetPosition());
        BlockTime = 0.0;
        const u16 n = File->ReadWord();
        const std::string text = "Standard " + DescribeStandardBlock(n);
        AddBlock(text, offset, BlockTime, TotalTime);
        TotalTime += BlockTime;
    }
}

// ---------------------------------------------------------------------------
// TZX

i64 TTape::TargetEntry(i16 relative) const
{
    return i64(GetBlockCount()) + relative + 1;
}

void TTape::LoadTZX()
{
    if (File->GetSize() < 10)
        throw TTextError("TZX tape image file size too small.");
    const std::string signature = File->ReadString(8);
    const u8 major = File->ReadByte();
    const u8 minor = File->ReadByte();
    if (signature != std::string("ZXTape!\x1A"))
        throw TTextError("Invalid TZX file format.");
    if (major != 1)
        throw TTextError("TZX file has unsupported revision (not like 1.xx).");
    Version = std::to_string(major) + "." + std::to_string(minor);

    Blocks.clear();
    TotalTime = 0.0;
    double loopTime = 0.0;
    std::string groupName;
    std::string text;
    bool inGroup = false;
    i32 groupCount = 0;
    bool inLoop = false;
    u16 repetitions = 0;

    // A skip never moves backwards and stops at the end of the file.
    auto skip = [this](i64 n) {
        if (n > 0)
            File->Skip(static_cast<u64>(n));
    };
    auto addPause = [this](u16 milliseconds) { BlockTime += MillisecondsToDays(milliseconds); };

    while (!File->IsEof()) {
        const u32 offset = static_cast<u32>(File->GetPosition());
        if (!inGroup)
            BlockTime = 0.0;

        const u8 id = File->ReadByte();
        switch (id) {
        case 0x10: {  // standard speed data
            SetStandardTiming();
            const u16 pause = File->ReadWord();
            const u16 n = File->ReadWord();
            addPause(pause);
            text = "Standard " + DescribeStandardBlock(n);
            break;
        }
        case 0x11: {  // turbo speed data
            PilotPulse = File->ReadWord();
            Sync1 = File->ReadWord();
            Sync2 = File->ReadWord();
            ZeroPulse = File->ReadWord();
            OnePulse = File->ReadWord();
            HeaderPilotCount = DataPilotCount = File->ReadWord();
            UsedBits = File->ReadByte();
            const u16 pause = File->ReadWord();
            const u32 n = File->ReadTriple();
            addPause(pause);
            text = "Turbo " + DescribeStandardBlock(n);
            break;
        }
        case 0x12: {  // pure tone
            const u16 length = File->ReadWord();
            const u16 count = File->ReadWord();
            PilotPulse = length;
            HeaderPilotCount = count;
            text = "Pure Tone";
            BlockTime += TStatesToDays(i64(length) * count);
            break;
        }
        case 0x13: {  // pulse sequence
            const u8 count = File->ReadByte();
            i64 sum = 0;
            for (i32 i = 0; i < count; ++i)
                sum += File->ReadWord();
            text = "Pulse Sequence";
            BlockTime += TStatesToDays(sum);
            break;
        }
        case 0x14: {  // pure data
            PilotPulse = Sync1 = Sync2 = 0;
            HeaderPilotCount = DataPilotCount = 0;
            ZeroPulse = File->ReadWord();
            OnePulse = File->ReadWord();
            UsedBits = File->ReadByte();
            const u16 pause = File->ReadWord();
            const u32 n = File->ReadTriple();
            addPause(pause);
            text = "Pure Data Block: " + DescribeStandardBlock(n);
            break;
        }
        case 0x15: {  // direct recording
            OnePulse = File->ReadWord();  // T-states per sample
            const u16 pause = File->ReadWord();
            UsedBits = File->ReadByte();
            const u32 n = File->ReadTriple();
            skip(n);
            text = "Direct Recording";
            addPause(pause);
            // No samples, no time (the used bits of a missing last byte).
            const i64 samples = n == 0 ? 0 : std::max<i64>(0, 8 * i64(n) + UsedBits - 8);
            BlockTime += TStatesToDays(samples * OnePulse);
            break;
        }
        case 0x18: {  // CSW recording
            const u32 length = File->ReadDWord();
            const u16 pause = File->ReadWord();
            const u32 rate = File->ReadTriple();
            File->ReadByte();  // compression
            const u32 pulses = File->ReadDWord();
            skip(i64(length) - 10);
            text = "CSW Recording";
            addPause(pause);
            if (rate != 0) {
                const long double days = static_cast<long double>(pulses) / rate * (1.0L / 24.0L) *
                                         (1.0L / 60.0L) * (1.0L / 60.0L);
                BlockTime += static_cast<double>(days);
            }
            break;
        }
        case 0x19: {  // generalized data
            skip(File->ReadDWord());
            text = "Generalized Data Block";
            break;
        }
        case 0x20: {  // pause or stop the tape
            const u16 pause = File->ReadWord();
            text = pause > 0 ? "Pause: " + std::to_string(pause) + "ms" : std::string("Stop the Tape");
            addPause(pause);
            break;
        }
        case 0x21: {  // group start
            if (inGroup)
                throw TTextError("Nesting of groups is not allowed.");
            groupName = Latin1ToUtf8(File->ReadPascalString());
            inGroup = true;
            groupCount = -1;  // the group start itself counts it to 0
            break;
        }
        case 0x22: {  // group end
            if (!inGroup)
                throw TTextError("Group End without Group Start.");
            inGroup = false;
            text = "Group: " + groupName + " (" + std::to_string(groupCount) + " subblocks)";
            break;
        }
        case 0x23: {  // jump
            const i16 relative = static_cast<i16>(File->ReadWord());
            text = "Jump to Block " + std::to_string(TargetEntry(relative));
            break;
        }
        case 0x24: {  // loop start
            if (inLoop)
                throw TTextError("Nesting of loop blocks is not allowed.");
            repetitions = File->ReadWord();
            inLoop = true;
            loopTime = 0.0;
            text = "Loop Start (" + std::to_string(repetitions) + " repetitions)";
            break;
        }
        case 0x25: {  // loop end
            if (!inLoop)
                throw TTextError("Loop End without Loop Start.");
            inLoop = false;
            text = "Loop End";
            BlockTime += loopTime * repetitions;
            break;
        }
        case 0x26: {  // call sequence
            const u16 count = File->ReadWord();
            if (count > 20) {
                skip(2 * i64(count));
                text = "Call Sequence (" + std::to_string(count) + " calls)";
            } else {
                text = "Call Sequence (";
                for (i32 i = 0; i < count; ++i) {
                    const i16 relative = static_cast<i16>(File->ReadWord());
                    text += (i ? ", " : "") + std::to_string(TargetEntry(relative));
                }
                text += ")";
            }
            break;
        }
        case 0x27: text = "Return from Sequence"; break;
        case 0x28: {  // select block
            const u16 length = File->ReadWord();
            const u8 count = File->ReadByte();
            skip(i64(length) - 1);
            text = "Select Block (" + std::to_string(count) + " selections)";
            break;
        }
        case 0x2A: skip(4); text = "Stop Tape if in 48K Mode"; break;
        case 0x2B: skip(5); text = "Set signal level"; break;
        case 0x30: text = "Text Description: " + Latin1ToUtf8(File->ReadPascalString()); break;
        case 0x31: {  // message
            File->ReadByte();  // seconds to show it
            text = "Message Block: " + Latin1ToUtf8(File->ReadPascalString());
            break;
        }
        case 0x32: {  // archive info
            // The block ends after its strings, or at its length when that
            // lies further: some images store a length one short, and
            // trusting it would land the walk inside the last string.
            const u16 length = File->ReadWord();
            const i64 lengthEnd = i64(File->GetPosition()) + length;
            const u8 count = File->ReadByte();
            for (i32 i = 0; i < count && !File->IsEof(); ++i) {
                skip(1);  // the string's kind
                if (!File->IsEof())
                    skip(File->ReadByte());
            }
            skip(lengthEnd - File->GetPosition());
            text = "Archive Info (" + std::to_string(count) + " strings)";
            break;
        }
        case 0x33: {  // hardware type
            const u8 count = File->ReadByte();
            skip(3 * i64(count));
            text = "Hardware Type (" + std::to_string(count) + " records)";
            break;
        }
        case 0x35: {  // custom info: a 16-byte identifier, then the length
            const std::string identifier = ShownName(File->ReadString(16));
            skip(File->ReadDWord());
            text = "Custom Info: " + identifier;
            break;
        }
        case 0x5A: skip(9); text = "Start of Another TZX file"; break;
        default: {
            skip(File->ReadDWord());
            text = "Unknown block type (" + std::to_string(id) + ")";
            break;
        }
        }

        if (inGroup) {
            ++groupCount;
            continue;
        }
        AddBlock(text, offset, BlockTime, inLoop ? 0.0 : TotalTime);
        if (inLoop)
            loopTime += BlockTime;
        else
            TotalTime += BlockTime;
    }
    CurrentIndex = 0;
}
