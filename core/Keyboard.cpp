#include "core/Keyboard.h"

#include "core/Settings.h"

namespace {

// Key k lies in half-row RowOfGroup[k / 5] at bit BitOfColumn[k % 10]: each
// group of five keys is one half-row, read from the outer key inwards on the
// right-hand half of the keyboard.
constexpr std::array<u8, 8> RowOfGroup{3, 4, 2, 5, 1, 6, 0, 7};
constexpr std::array<u8, 10> BitOfColumn{1, 2, 4, 8, 16, 16, 8, 4, 2, 1};

bool IsKey(i32 key)
{
    return key >= 0 && key < TKeyboard::KeyCount;
}

}  // namespace

TKeyboard::TKeyboard()
{
    for (i32 key = 0; key < KeyCount; ++key) {
        KeyRowIndex[key] = RowOfGroup[key / 5];
        KeyBitMask[key] = BitOfColumn[key % 10];
    }
    Reset();
    AllocatePorts(1);
    AddPort(new TPort(g_Settings->KeyboardPort, g_Settings->KeyboardMask,
                      TInHandler::Bind<TKeyboard, &TKeyboard::PortRead>(this)));
}

i32 TKeyboard::KeyHalfRow(i32 key)
{
    return IsKey(key) ? RowOfGroup[key / 5] : -1;
}

u8 TKeyboard::KeyBit(i32 key)
{
    return IsKey(key) ? BitOfColumn[key % 10] : 0;
}

void TKeyboard::KeyDown(i32 key)
{
    if (!IsKey(key))
        return;
    std::lock_guard guard(WritersLock);
    KeyDownLocked(key);
}

void TKeyboard::KeyDownLocked(i32 key)
{
    if (PressCount[key] == 0xFF)  // a count that cannot grow further
        return;
    if (PressCount[key]++ != 0)
        return;
    RawRows[KeyRowIndex[key]] &= static_cast<u8>(~KeyBitMask[key]);
    ++KeysDown;
    UpdateRows();
}

void TKeyboard::KeyUp(i32 key)
{
    if (!IsKey(key))
        return;
    std::lock_guard guard(WritersLock);
    if (PressCount[key] == 0 || --PressCount[key] != 0)
        return;
    RawRows[KeyRowIndex[key]] |= KeyBitMask[key];
    --KeysDown;
    UpdateRows();
}

void TKeyboard::Reset()
{
    std::lock_guard guard(WritersLock);
    ResetLocked();
}

void TKeyboard::ResetLocked()
{
    KeysDown = 0;
    RawRows.fill(NoKeys);
    for (std::atomic<u8>& row : EffectiveRows)
        row.store(NoKeys, std::memory_order_relaxed);
    PressCount.fill(0);
}

void TKeyboard::Resynchronise(std::span<const i32> heldKeys)
{
    std::lock_guard guard(WritersLock);
    ResetLocked();
    for (const i32 key : heldKeys)
        if (IsKey(key))
            KeyDownLocked(key);
}

void TKeyboard::UpdateRows()
{
    std::array<u8, HalfRows> rows = RawRows;
    if (KeysDown > 2) {
        // Two rows that share a pressed column connect through it: each then
        // reads the keys of both. After a merge the scan goes on from the
        // row two below the current one.
        for (i32 i = 0; i < HalfRows - 1; ++i) {
            if (rows[i] == NoKeys)
                continue;
            i32 j = i + 1;
            while (j < HalfRows) {
                if (rows[j] != NoKeys && rows[j] != rows[i] && (rows[i] | rows[j]) != NoKeys) {
                    rows[i] = rows[j] = rows[i] & rows[j];
                    j = i + 2;
                } else {
                    ++j;
                }
            }
        }
    }
    for (i32 i = 0; i < HalfRows; ++i)
        EffectiveRows[i].store(rows[i], std::memory_order_relaxed);
}

u8 TKeyboard::PortRead(u16 port)
{
    u8 result = NoKeys;
    const u8 selected = static_cast<u8>(~(port >> 8));
    for (i32 i = 0; i < HalfRows; ++i)
        if (selected & (1 << i))
            result &= EffectiveRows[i].load(std::memory_order_relaxed);
    const TTapeInput* tape = TapeInput.load(std::memory_order_relaxed);
    if (tape && tape->IsPlaying() && tape->GetEarLevel())
        result |= 0x40;
    return result;
}

u8 TKeyboard::GetKeysDown() const
{
    std::lock_guard guard(WritersLock);
    return KeysDown;
}

u8 TKeyboard::GetPressCount(i32 key) const
{
    if (!IsKey(key))
        return 0;
    std::lock_guard guard(WritersLock);
    return PressCount[key];
}
