// The components an owner holds, in the order they were created.
//
// In Qt a widget's parent is the widget that shows it, and docking frames and
// views move between parents as the user docks them. Who finds them (the
// view manager looks for every tool window the main window owns) and who
// deletes what is left over at exit is therefore kept apart from the parent:
// an owner has one registry, attached to it as a hidden child object.
//
//     auto& components = TComponentRegistry::Of(mainWindow);
//     components.Add(toolWindow);                        // creation order
//     for (QObject* w : components.OfClass("TFramesF")) ...
//     components.Release(toolWindow);    // leaves at once, deleted later
//
// A component leaves the registry when it is destroyed, or at once when it
// is released: a window or frame that goes away inside one of its own event
// handlers must disappear from every search right away, but can only be
// deleted after that handler has returned.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <vector>

class TComponentRegistry : public QObject {
    Q_OBJECT

public:
    // The registry of an owner, made on first use; it lives as long as the
    // owner. Null owner: a process-wide registry for parts built without one.
    static TComponentRegistry& Of(QObject* owner);

    explicit TComponentRegistry(QObject* owner = nullptr);
    // Deletes what is still released but not yet deleted, and every
    // registered component that has no parent (one with a parent goes with
    // it), last created first.
    ~TComponentRegistry() override;

    // Appends the component (nothing when it is already there).
    void Add(QObject* component);
    // Takes the component out without deleting it.
    void Remove(QObject* component);
    // Takes the component out at once and deletes it when control returns
    // to the event loop (or at DeleteReleased, whichever comes first).
    void Release(QObject* component);
    // Deletes every released component that is still alive: for an owner
    // that must be sure nothing it released outlives what it is about to
    // delete.
    void DeleteReleased();

    bool Contains(const QObject* component) const;
    int Count() const { return int(Entries.size()); }
    QObject* Component(int index) const { return Entries.at(std::size_t(index)).Component; }
    // Every component, in creation order.
    std::vector<QObject*> Components() const;
    // The components whose class name is exactly the given one, in
    // creation order.
    std::vector<QObject*> OfClass(const char* className) const;

    // A component's class name: the most derived class with Q_OBJECT.
    static const char* ClassNameOf(const QObject* object);

private:
    struct TEntry {
        QObject* Component;
        QMetaObject::Connection Destroyed;
    };

    std::vector<TEntry> Entries;
    std::vector<QPointer<QObject>> Released;
};
