// The emulated Z80: its register block, the timed bus cycles through which
// every instruction reaches memory, the port bus and the video chip, the
// maskable interrupt and the frame clock.
//
// Time is counted in T-states within the current video frame (Tact). Each
// T-state is either latched (the video chip latches the screen bytes due at
// that T-state, then Tact advances) or only counted (Tact advances): every
// T-state of every bus cycle is latched except the second T-state of an
// opcode fetch or memory access at 0x4000 or above. There is no contention.
//
// TZ80 is a plain record: the register view, the snapshot code and the
// evaluator read and write its fields directly, in the order below.
#pragma once

#include "core/Memory.h"
#include "core/Ports.h"
#include "core/Types.h"
#include "core/Video_card.h"

#include <bit>

class TBreakpoints;
class TSettings;

// A 16-bit register pair whose two bytes are reached in place: B is the high
// byte of BC, C the low byte; A is the high byte of AF, F the low byte.
struct TRegPair {
    static_assert(std::endian::native == std::endian::little, "register bytes are reached in place");

    u16 W = 0;

    constexpr TRegPair() = default;
    constexpr TRegPair(u16 word) : W(word) {}
    constexpr TRegPair(u8 low, u8 high) : W(static_cast<u16>(low | high << 8)) {}

    u8& Lo() { return reinterpret_cast<u8*>(&W)[0]; }
    u8& Hi() { return reinterpret_cast<u8*>(&W)[1]; }
    u8 Lo() const { return static_cast<u8>(W); }
    u8 Hi() const { return static_cast<u8>(W >> 8); }
};

// Flag bits of F, bit 7 to bit 0: S Z 5 H 3 P/V N C. Bits 5 and 3 are the
// undocumented copies of result or operand bits.
constexpr u8 FlagC = 0x01;
constexpr u8 FlagN = 0x02;
constexpr u8 FlagPV = 0x04;
constexpr u8 Flag3 = 0x08;
constexpr u8 FlagH = 0x10;
constexpr u8 Flag5 = 0x20;
constexpr u8 FlagZ = 0x40;
constexpr u8 FlagS = 0x80;

class TZ80 {
public:
    // --- The register block, in its shared order ---
    const u8* FlagTable;      // per byte: S, Z, 5, 3 and parity (one table for every processor)
    TMemory* Memory;          // the address space (not owned)
    TPorts* Ports;            // the port bus (not owned)
    TVideoCard* VideoCard;    // the video chip, or nullptr: no latching (not owned)
    u8 ResetRequest = 0;      // non-zero: the next step resets instead of executing
    TRegPair BC, DE, HL, IX, IY, AF;
    u8 IFF2 = 0;
    u8 IFF1 = 0;
    u16 WZ = 0;               // the internal address register (MEMPTR)
    u16 PC = 0;
    u16 SP = 0;
    TRegPair AltBC, AltDE, AltHL, AltAF;
    u8 I = 0;
    u8 IM = 0;                // interrupt mode 0, 1 or 2 (0 acts as 1)
    u8 R = 0;                 // refresh register, +1 at every opcode fetch; bit 7 lives in R7
    u8 R7 = 0;                // bit 7 of R as last loaded by LD R,A (0x00 or 0x80)
    u8 InterruptAllowed = 0;  // 0 during the step after EI
    u8 Opcode = 0;            // the last opcode byte fetched
    i32 Tact = 0;             // T-state within the frame, 0 .. frame length - 1 between steps
    i32 Frame = 0;            // frames completed since construction
    i32 LastFrame = -1;       // Frame at the last frame report
    // --- Chip state beyond the shared block ---
    // 1 once a HALT has executed and the processor waits on it (PC on the
    // HALT); the accepted interrupt then returns past it. Whoever writes PC
    // from outside (snapshot loaders, register edits) clears it.
    u8 Halted = 0;
    // The F written by the last instruction if it wrote the flags, else 0;
    // SCF and CCF take bits 5 and 3 from it.
    u8 Q = 0;
    // 1 right after LD A,I or LD A,R: an interrupt accepted at this boundary
    // clears P/V, as the chip's IFF2 copy is overtaken by the acknowledge.
    u8 InterruptClearsPV = 0;

    // --- Construction and reset ---
    TZ80(TMemory* memory, TPorts* ports);
    TZ80(const TZ80&) = delete;
    TZ80& operator=(const TZ80&) = delete;
    // Copies the register block and chip state (BC .. InterruptClearsPV),
    // not the pointers or the reset request: the register view keeps the
    // previous state this way.
    void CopyRegisters(const TZ80& from);
    void SetVideoCard(TVideoCard* videoCard) { VideoCard = videoCard; }
    // IM 0, IFF1 = IFF2 = 0, PC 0, R 0, AF and SP 0xFFFF, the halted marker,
    // Q and the LD A,I/R latch cleared; the other registers, WZ, I, Tact and
    // Frame keep their values.
    void Reset();

    // --- Step and interrupts ---
    // One instruction (a run of DD/FD prefixes and its opcode, one iteration
    // of a repeating block instruction), an accepted interrupt or a requested
    // reset; then the frame end. True when a new frame is to be reported.
    bool Step();
    // Tried by Step inside the interrupt window: false when IFF1 is clear or
    // EI has just executed; otherwise pushes PC and jumps (13 or 19 T-states).
    bool AcceptInterrupt();

    // --- Plain steps back to back (the run loop) ---
    // The T-state below which every step is a plain instruction: no reset
    // request, no start inside the interrupt window, no frame wrap or frame
    // report before its end. At most the frame length; at or below Tact
    // when the next step is not one (then Step it).
    i32 GetPlainRunLimit() const;
    // Steps while Tact stays below the limit (one at least), exactly as Step
    // would, the last one with its frame end: true when a new frame is to be
    // reported. The limit is at most GetPlainRunLimit. Before each
    // instruction stepTact gets Tact: the position after the previous step.
    bool StepUntil(i32 limit, i32& stepTact);
    // The same, also ending after the step that brings PC to a breakpoint.
    bool StepUntil(i32 limit, i32& stepTact, const TBreakpoints& stops);

    // --- For the debugger ---
    // Where a step over the instruction at PC should stop (after a CALL,
    // CALL cc, RST, HALT, DJNZ or repeating block instruction); false for
    // any other instruction, which is simply stepped.
    bool GetStepOverAddress(u16& address) const;
    static bool EvenParity(int v);
    // The frame length the stepping works with: the settings' T-states per
    // frame, kept within 1 .. 2^30.
    static u32 FrameLengthOf(const TSettings& settings);

    // Register bytes by name.
    u8& A() { return AF.Hi(); }
    u8& F() { return AF.Lo(); }
    u8& B() { return BC.Hi(); }
    u8& C() { return BC.Lo(); }
    u8& D() { return DE.Hi(); }
    u8& E() { return DE.Lo(); }
    u8& H() { return HL.Hi(); }
    u8& L() { return HL.Lo(); }

    // The longest run of DD/FD prefixes one step consumes.
    static constexpr i32 MaxPrefixRun = 256;
    // An upper bound of the T-states of one step: a full run of prefixes,
    // then the longest instruction.
    static constexpr i32 LongestStep = MaxPrefixRun * 4 + 23;
    // GetStepOverAddress gives up after scanning this many bytes.
    static constexpr i32 MaxStepOverScan = 0x10000;

    // --- Timed bus cycles: the interpreter's only way to memory, ports and
    // the video chip. L = latched T-state, c = counted only. ---
    u8 FetchOpcode();                           // 4: L, read at PC, PC+1, R+1, L/c by the new PC, L, L
    u8 ReadMem(u16 address);                    // 3: L, L/c by the address, read, L
    void WriteMem(u16 address, u8 value);       // 3: L, L/c by the address, write, L
    u16 ReadMemWord(u16 address);               // 6: low byte at address, high byte at address + 1
    void WriteMemWord(u16 address, u16 value);  // 6: low byte first
    u8 InPort(u16 port);                        // 4: L, L, L, read, L
    void OutPort(u16 port, u8 value);           // 4: L, write, L, L, L
    void Tick1() { Idle(1); }
    void Tick2() { Idle(2); }
    void Tick4() { Idle(4); }
    void Tick5() { Idle(5); }
    void Tick6() { Idle(6); }
    void Tick7() { Idle(7); }

private:
    // T-states that all latch.
    void Idle(i32 count);
    // Brings a Tact written from outside back into the frame (floored
    // modulo), counting whole frames into Frame.
    void WrapTact(i64 frameLength);
    bool EndStep(const TSettings& settings, u32 frameLength);
    template <bool Stops>
    bool RunPlainSteps(i32 limit, i32& stepTact, const TBreakpoints* stops);

    // --- The interpreter ---
    u8 Imm8() { return ReadMem(PC++); }
    u16 Imm16();
    void Execute();
    void Dispatch(TRegPair& xy, u32 key);
    void ExecuteIndexed(TRegPair* xy);
    void ExecuteCB();
    void ExecuteIndexedCB(TRegPair& xy);
    void ExecuteED();
    u16 IndexedAddress(TRegPair& xy);
    u8& Reg8(u32 code);

    // --- Flag and ALU primitives ---
    u8 SZ53(u8 v) const { return FlagTable[v] & static_cast<u8>(~FlagPV); }
    u8 SZ53P(u8 v) const { return FlagTable[v]; }
    void SetF(u8 f) { F() = f; Q = f; }
    void Add8(u8 v);
    void Adc8(u8 v);
    void Sub8(u8 v);
    void Sbc8(u8 v);
    void And8(u8 v);
    void Xor8(u8 v);
    void Or8(u8 v);
    void Cp8(u8 v);
    u8 Inc8(u8 v);
    u8 Dec8(u8 v);
    void Rlca();
    void Rrca();
    void Rla();
    void Rra();
    void Daa();
    void Cpl();
    void Scf();
    void Ccf();
    void AddRr(TRegPair& rr, u16 v);
    void AdcHl(u16 v);
    void SbcHl(u16 v);
    void Neg();
    u8 Rotate(u32 kind, u8 v);
    void Bit(u32 bit, u8 v, u8 bits53);
    void LdAIR(u8 v);

    // --- Instruction shapes shared by several opcodes ---
    void LdAMem(u16 address);
    void LdMemA(u16 address);
    void LdRrMem(TRegPair& rr);
    void LdMemRr(u16 v);
    void LdAAbs();
    void LdAbsA();
    void LdIndexedImm(TRegPair& xy);
    void IncMem(u16 address);
    void DecMem(u16 address);
    void JumpIf(bool condition);
    void JumpRelIf(bool condition);
    void CallIf(bool condition);
    void RetIf(bool condition);
    void Push(u16 v);
    u16 Pop();
    void Rst(u16 address);
    void ExSpRr(TRegPair& rr);
    void InC(u8* r);
    void OutC(u8 v);
    void InAImm();
    void OutImmA();
    void Retn();
    void Ldi(int step);
    void Cpi(int step);
    u8 Ini(int step);
    u8 Outi(int step);
    void RepeatBlock();
    void RepeatBlockIO(u8 value);
    void Rrd();
    void Rld();

    u8 LastQ = 0;  // Q as the instruction being executed found it
};

// --- Timed bus cycles (inline: every instruction is made of them) ---

// The video chip latches behind the processor (TVideoCard::NoteCounted):
// a cycle only notes its counted-only T-state, and a write to the shown
// screen first has the latches caught up to the moment it lands.

[[gnu::always_inline]] inline u8 TZ80::FetchOpcode()
{
    const u8 opcode = Memory->ReadOpcode(PC);
    ++PC;
    ++R;
    Opcode = opcode;
    // The second T-state counts only when the incremented PC is at 0x4000
    // or above.
    if (VideoCard && PC >= 0x4000)
        VideoCard->NoteCounted(Tact + 1);
    Tact += 4;
    return opcode;
}

[[gnu::always_inline]] inline u8 TZ80::ReadMem(u16 address)
{
    const u8 value = Memory->ReadByte(address);
    if (VideoCard && address >= 0x4000)
        VideoCard->NoteCounted(Tact + 1);
    Tact += 3;
    return value;
}

[[gnu::always_inline]] inline void TZ80::WriteMem(u16 address, u8 value)
{
    if (VideoCard && address >= 0x4000) {
        VideoCard->NoteCounted(Tact + 1);
        // The third T-state latches after the write: it may see the new byte.
        if (VideoCard->WriteMeetsPendingLatch(Memory->GetPointer(address & 0xC000), address, Tact + 2)) [[unlikely]]
            VideoCard->CatchUpLatches(Tact + 2);
    }
    Memory->WriteByte(address, value);
    Tact += 3;
}

[[gnu::always_inline]] inline u16 TZ80::ReadMemWord(u16 address)
{
    const u8 low = ReadMem(address);
    return static_cast<u16>(low | ReadMem(static_cast<u16>(address + 1)) << 8);
}

[[gnu::always_inline]] inline void TZ80::WriteMemWord(u16 address, u16 value)
{
    WriteMem(address, static_cast<u8>(value));
    WriteMem(static_cast<u16>(address + 1), static_cast<u8>(value >> 8));
}

// Port handlers may read Tact (the border stamps its changes with it), so it
// is exact when they run. Every T-state of a port cycle latches.
inline u8 TZ80::InPort(u16 port)
{
    Tact += 3;
    const u8 value = Ports->Read(port);
    Tact += 1;
    return value;
}

inline void TZ80::OutPort(u16 port, u8 value)
{
    Tact += 1;
    Ports->Write(port, value);
    Tact += 3;
}

[[gnu::always_inline]] inline void TZ80::Idle(i32 count)
{
    Tact += count;
}
