// The debugger's views while the machine runs on its own thread: painting
// live memory and PC, refreshing, editing registers, setting PC, assembling
// into memory and evaluating register names all happen between two
// instructions (under the pause guard), so ThreadSanitizer sees no race and
// the run goes on.
#include "tests/views/Debugger_views_fixture.h"

#include "views/Dasm_frame.h"
#include "views/Memory_frame.h"
#include "views/Stack_frame.h"
#include "core/Cpu_memory_array.h"
#include "views/Z80_frame.h"

#include <QImage>
#include <QLayout>

#include <chrono>

namespace {

// Paints the widget's top-left corner into a small image: every row is laid
// out and read, and the image stays below the size at which Qt converts
// pixels on threads of its own (which ThreadSanitizer cannot see into).
bool Paint(QWidget* widget)
{
    QImage image(160, 100, QImage::Format_RGB32);
    image.fill(Qt::black);
    widget->render(&image, QPoint(), QRegion(0, 0, 160, 100));
    return image.pixel(1, 1) != QColor(Qt::black).rgb();
}

} // namespace

TEST_F(TDebuggerViewTest, ViewsReadAndChangeTheMachineWhileItRuns)
{
    // 8000: INC (HL); INC HL; PUSH HL; POP HL; JR 8000 - a loop that writes
    // the memory the views show.
    Poke(0x8000, {0x34, 0x23, 0xE5, 0xE1, 0x18, 0xFA});
    Cpu->PC = 0x8000;
    Cpu->SP = 0xC000;
    Cpu->HL.W = 0x9000;
    Cpu->IFF1 = Cpu->IFF2 = 0;
    // Views of their own, never shown: nothing starts Qt's painting
    // threads, which ThreadSanitizer cannot see into.
    QWidget owner;
    auto array = [&] { return std::make_unique<TCpuMemoryArray>(Computer->Memory); };
    auto dasm = std::make_unique<TDasmF>(&owner);
    dasm->SetSource(array(), Computer.get());
    auto memory = std::make_unique<TMemoryF>(&owner, Computer.get(), array());
    auto stack = std::make_unique<TStackF>(&owner, Cpu, array(), Computer.get());
    auto registers = std::make_unique<TZ80F>(&owner, Cpu, Computer.get());
    for (QWidget* view : {static_cast<QWidget*>(dasm.get()), static_cast<QWidget*>(memory.get()),
                          static_cast<QWidget*>(stack.get())}) {
        view->resize(200, 200);
        view->layout()->activate();
    }
    memory->SetTop(0x9000);

    ASSERT_TRUE(Computer->Run([] {}));
    for (int round = 0; round < 20; ++round) {
        EXPECT_TRUE(Paint(dasm->PB));
        EXPECT_TRUE(Paint(memory->MemoryPB));
        EXPECT_TRUE(Paint(stack->StackPB));
        dasm->UpdateView();
        memory->UpdateView();
        stack->UpdateView();
        registers->UpdateView();
        registers->SetSelected(registers->FieldIndex(QStringLiteral("C")));
        registers->SwitchAExecute();
        registers->SetSelected(registers->FieldIndex(QStringLiteral("DE ")));
        registers->ResetToZeroAExecute();
        dasm->SetCursor(0x8000);
        dasm->SetPCOnCurrentLineAExecute();
        ExpressionF->ExprCB->setEditText(QStringLiteral("hl+pc"));
        EXPECT_TRUE(ExpressionF->IsValid());
        QuickAsmF->ExprCB->setEditText(QStringLiteral("LD BC,PC+1"));
        EXPECT_EQ(QuickAsmF->GetResult()->Error, 0);
        Host.UiPoster.Pump();
        EXPECT_TRUE(Computer->IsRunActive());
    }
    Computer->SetStopRequest(1);
    EXPECT_TRUE(Host.UiPoster.PumpUntil([&] { return !Computer->IsRunActive(); }, std::chrono::seconds(10)));
    EXPECT_EQ(Cpu->DE.W, 0);
    EXPECT_GE(Cpu->PC, 0x8000);
    EXPECT_LT(Cpu->PC, 0x8006);
}
