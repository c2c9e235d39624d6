// The owner's component registry: creation order, leaving on destruction,
// release that leaves at once and deletes later, and what the owner
// deletes when it goes.
#include "platform/Component_registry.h"
#include "tests/shell/Qt_test_app.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class TRegistryWidget : public QWidget {
    Q_OBJECT

public:
    explicit TRegistryWidget(QWidget* parent = nullptr)
        : QWidget(parent)
    {
    }
};

class TOtherWidget : public QWidget {
    Q_OBJECT
};

TEST(ComponentRegistry, KeepsCreationOrderAndFindsByExactClassName)
{
    QWidget owner;
    auto& registry = TComponentRegistry::Of(&owner);
    EXPECT_EQ(&registry, &TComponentRegistry::Of(&owner));

    auto* first = new TRegistryWidget;
    auto* other = new TOtherWidget;
    auto* second = new TRegistryWidget;
    for (QWidget* w : {static_cast<QWidget*>(first), static_cast<QWidget*>(other), static_cast<QWidget*>(second)}) {
        w->setParent(&owner);
        registry.Add(w);
    }
    registry.Add(first);  // twice: still once

    EXPECT_EQ(registry.Count(), 3);
    EXPECT_EQ(registry.Components(), (std::vector<QObject*>{first, other, second}));
    EXPECT_EQ(registry.OfClass("TRegistryWidget"), (std::vector<QObject*>{first, second}));
    EXPECT_TRUE(registry.OfClass("QWidget").empty());
    EXPECT_STREQ(TComponentRegistry::ClassNameOf(other), "TOtherWidget");
}

TEST(ComponentRegistry, ADestroyedComponentLeaves)
{
    QWidget owner;
    auto& registry = TComponentRegistry::Of(&owner);
    auto* a = new TRegistryWidget;
    auto* b = new TRegistryWidget;
    registry.Add(a);
    registry.Add(b);
    delete a;
    EXPECT_EQ(registry.Components(), (std::vector<QObject*>{b}));
    registry.Remove(b);
    EXPECT_EQ(registry.Count(), 0);
    delete b;  // removed first: no dangling entry either way
    EXPECT_EQ(registry.Count(), 0);
}

TEST(ComponentRegistry, ReleaseLeavesAtOnceAndDeletesLater)
{
    QWidget owner;
    auto& registry = TComponentRegistry::Of(&owner);
    QPointer<QWidget> window = new TRegistryWidget;
    registry.Add(window);
    registry.Release(window);
    EXPECT_FALSE(registry.Contains(window));
    EXPECT_FALSE(window.isNull()) << "deleted inside the caller, which may be its own handler";
    Settle();
    EXPECT_TRUE(window.isNull());
}

TEST(ComponentRegistry, DeleteReleasedDeletesWhatIsStillPending)
{
    QWidget owner;
    auto& registry = TComponentRegistry::Of(&owner);
    QPointer<QWidget> a = new TRegistryWidget;
    QPointer<QWidget> child = new TRegistryWidget(a);
    registry.Release(a);
    registry.Release(child);  // goes with its parent: no double delete
    registry.DeleteReleased();
    EXPECT_TRUE(a.isNull());
    EXPECT_TRUE(child.isNull());
}

TEST(ComponentRegistry, TheOwnerDeletesItsOrphansAndLeavesParentedOnesToTheirParents)
{
    QPointer<QWidget> orphan;
    QPointer<QWidget> parented;
    QPointer<QWidget> released;
    auto holder = std::make_unique<QWidget>();
    {
        auto owner = std::make_unique<QWidget>();
        auto& registry = TComponentRegistry::Of(owner.get());
        orphan = new TRegistryWidget;
        parented = new TRegistryWidget(holder.get());
        released = new TRegistryWidget;
        registry.Add(orphan);
        registry.Add(parented);
        registry.Add(released);
        registry.Release(released);
    }
    EXPECT_TRUE(orphan.isNull());
    EXPECT_TRUE(released.isNull());
    EXPECT_FALSE(parented.isNull());
}

#include "Component_registry_test.moc"
