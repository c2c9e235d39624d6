#include "platform/Component_registry.h"

#include <algorithm>

TComponentRegistry& TComponentRegistry::Of(QObject* owner)
{
    if (!owner) {
        // Reachable for the whole run, so it is never reported as a leak;
        // it is not destroyed after the application object at exit.
        static TComponentRegistry* const processRegistry = new TComponentRegistry(nullptr);
        return *processRegistry;
    }
    if (auto* registry = owner->findChild<TComponentRegistry*>(QString(), Qt::FindDirectChildrenOnly))
        return *registry;
    return *new TComponentRegistry(owner);
}

TComponentRegistry::TComponentRegistry(QObject* owner)
    : QObject(owner)
{
    setObjectName(QStringLiteral("ComponentRegistry"));
}

TComponentRegistry::~TComponentRegistry()
{
    DeleteReleased();
    std::vector<QPointer<QObject>> orphans;
    for (auto it = Entries.rbegin(); it != Entries.rend(); ++it) {
        QObject::disconnect(it->Destroyed);
        if (!it->Component->parent())
            orphans.emplace_back(it->Component);
    }
    Entries.clear();
    for (auto& orphan : orphans)
        delete orphan.data();
}

void TComponentRegistry::Add(QObject* component)
{
    if (!component || Contains(component))
        return;
    auto destroyed = connect(component, &QObject::destroyed, this, [this, component] { Remove(component); });
    Entries.push_back({component, destroyed});
}

void TComponentRegistry::Remove(QObject* component)
{
    auto it = std::find_if(Entries.begin(), Entries.end(), [component](const TEntry& e) { return e.Component == component; });
    if (it == Entries.end())
        return;
    QObject::disconnect(it->Destroyed);
    Entries.erase(it);
}

void TComponentRegistry::Release(QObject* component)
{
    if (!component)
        return;
    Remove(component);
    Released.erase(std::remove_if(Released.begin(), Released.end(), [](const QPointer<QObject>& p) { return p.isNull(); }),
                   Released.end());
    Released.emplace_back(component);
    component->deleteLater();
}

void TComponentRegistry::DeleteReleased()
{
    auto released = std::move(Released);
    Released.clear();
    for (auto& component : released)
        delete component.data();
}

bool TComponentRegistry::Contains(const QObject* component) const
{
    return std::any_of(Entries.begin(), Entries.end(), [component](const TEntry& e) { return e.Component == component; });
}

std::vector<QObject*> TComponentRegistry::Components() const
{
    std::vector<QObject*> result;
    result.reserve(Entries.size());
    for (const auto& e : Entries)
        result.push_back(e.Component);
    return result;
}

std::vector<QObject*> TComponentRegistry::OfClass(const char* className) const
{
    std::vector<QObject*> result;
    for (const auto& e : Entries)
        if (qstrcmp(ClassNameOf(e.Component), className) == 0)
            result.push_back(e.Component);
    return result;
}

const char* TComponentRegistry::ClassNameOf(const QObject* object)
{
    return object ? object->metaObject()->className() : "";
}
