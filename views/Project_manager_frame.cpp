#include "views/Project_manager_frame.h"

#include "platform/Application.h"
#include "platform/Component_registry.h"
#include "platform/Dialog_services.h"
#include "shell/Ide.h"
#include "views/Asm_file.h"
#include "views/Editor_frame.h"
#include "views/Project.h"
#include "views/Project_group.h"

#include <QAction>
#include <QFile>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int DataRole = Qt::UserRole;
constexpr const char* CategoryProperty = "category";

QString FromBytes(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const void* DataOf(const QTreeWidgetItem* node)
{
    return node ? reinterpret_cast<const void*>(node->data(0, DataRole).value<quintptr>()) : nullptr;
}

void SetData(QTreeWidgetItem* node, const void* data)
{
    node->setData(0, DataRole, QVariant::fromValue(reinterpret_cast<quintptr>(data)));
}

// The three 16 x 16 images: a folder for the group, a box for a project,
// a page for a file.
QIcon GroupImage()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x80, 0x60, 0x00));
    painter.setBrush(QColor(0xF0, 0xC8, 0x40));
    painter.drawRect(1, 3, 6, 2);
    painter.drawRect(1, 5, 13, 8);
    return QIcon(pixmap);
}

QIcon ProjectImage()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x00, 0x20, 0x60));
    painter.setBrush(QColor(0x30, 0x60, 0xC0));
    painter.drawRect(1, 2, 13, 11);
    painter.fillRect(3, 5, 10, 7, QColor(0xFF, 0xFF, 0xFF));
    return QIcon(pixmap);
}

QIcon FileImage()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.setBrush(QColor(0xFF, 0xFF, 0xFF));
    painter.drawPolygon(QPolygon({QPoint(3, 1), QPoint(10, 1), QPoint(13, 4), QPoint(13, 14), QPoint(3, 14)}));
    painter.setPen(QColor(0x30, 0x60, 0xC0));
    for (int y = 5; y <= 11; y += 3)
        painter.drawLine(5, y, 11, y);
    return QIcon(pixmap);
}

} // namespace

// The tree: F2 starts the rename that fits the selected node, whatever Qt's
// own editing keys would do.
class TProjectTree : public QTreeWidget {
public:
    TProjectTree(TProjectManagerF* view) : QTreeWidget(view), View(view) {}

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_F2 && event->modifiers() == Qt::NoModifier) {
            event->accept();
            RunGuarded([this] { View->ProjectManagerTVKeyDown(TProjectManagerF::KeyF2); });
            return;
        }
        QTreeWidget::keyPressEvent(event);
    }

private:
    TProjectManagerF* View;
};

// ---------------------------------------------------------------------------
// Construction

TProjectManagerF::TProjectManagerF(QWidget* owner, TProjectGroup* group, TIDE& ide)
    : TViewF(owner)
    , Group(group)
    , Ide(ide)
{
    PreferredWidth = 250;
    PreferredHeight = 390;

    ProjectManagerIL = {GroupImage(), ProjectImage(), FileImage()};

    ProjectManagerTV = new TProjectTree(this);
    ProjectManagerTV->setObjectName(QStringLiteral("ProjectManagerTV"));
    ProjectManagerTV->setFont(QFont(QStringLiteral("Tahoma"), 8));
    ProjectManagerTV->setColumnCount(1);
    ProjectManagerTV->setHeaderHidden(true);
    ProjectManagerTV->setIndentation(19);
    ProjectManagerTV->setRootIsDecorated(false);
    ProjectManagerTV->setSelectionMode(QAbstractItemView::SingleSelection);
    // Editing starts only through the rename commands, and a double click
    // has a meaning of its own.
    ProjectManagerTV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ProjectManagerTV->setExpandsOnDoubleClick(false);
    ProjectManagerTV->setContextMenuPolicy(Qt::CustomContextMenu);
    ProjectManagerTV->setIconSize(QSize(16, 16));

    ProjectManagerSB = new QStatusBar(this);
    ProjectManagerSB->setObjectName(QStringLiteral("ProjectManagerSB"));
    ProjectManagerSB->setSizeGripEnabled(false);
    ProjectManagerSBPanel = new QLabel(QString::fromLatin1(TProjectGroup::NoProjectGroup), ProjectManagerSB);
    ProjectManagerSB->addWidget(ProjectManagerSBPanel, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ProjectManagerTV, 1);
    layout->addWidget(ProjectManagerSB);

    ProjectManagerPM = new QMenu(this);
    ProjectManagerPM->setObjectName(QStringLiteral("ProjectManagerPM"));
    AddNewProjectA = MakeAction("AddNewProjectA", "ProjectGroup", QStringLiteral("Add &New Project..."));
    AddExistingProjectA = MakeAction("AddExistingProjectA", "ProjectGroup", QStringLiteral("&Add Existing Project..."));
    ProjectGroupSeparatorA = MakeAction("ProjectGroupSeparatorA", "ProjectGroup", QStringLiteral("-"));
    SaveProjectGroupA = MakeAction("SaveProjectGroupA", "ProjectGroup", QStringLiteral("&Save Project Group"));
    SaveProjectGroupAsA = MakeAction("SaveProjectGroupAsA", "ProjectGroup", QStringLiteral("Sav&e Project Group As..."));
    RenameProjectGroupA = MakeAction("RenameProjectGroupA", "ProjectGroup", QStringLiteral("&Rename"));
    AddToProjectA = MakeAction("AddToProjectA", "Project", QStringLiteral("&Add..."));
    AddNewToProjectA = MakeAction("AddNewToProjectA", "Project", QStringLiteral("Add Ne&w"));
    ProjectSeparatorA = MakeAction("ProjectSeparatorA", "Project", QStringLiteral("-"));
    SaveProjectA = MakeAction("SaveProjectA", "Project", QStringLiteral("&Save"));
    SaveAsProjectA = MakeAction("SaveAsProjectA", "Project", QStringLiteral("Sav&e As..."));
    RenameProjectA = MakeAction("RenameProjectA", "Project", QStringLiteral("Re&name"));
    RemoveProjectA = MakeAction("RemoveProjectA", "Project", QStringLiteral("Remove Pro&ject"));
    ProjectSeparator2A = MakeAction("ProjectSeparator2A", "Project", QStringLiteral("-"));
    ActivateA = MakeAction("ActivateA", "Project", QStringLiteral("Act&ivate"));
    OpenFileA = MakeAction("OpenFileA", "File", QStringLiteral("&Open"));
    FileSeparatorA = MakeAction("FileSeparatorA", "File", QStringLiteral("-"));
    SaveFileA = MakeAction("SaveFileA", "File", QStringLiteral("&Save"));
    SaveAsFileA = MakeAction("SaveAsFileA", "File", QStringLiteral("Sav&e As..."));
    RenameFileA = MakeAction("RenameFileA", "File", QStringLiteral("Re&name"));
    RemoveFromProjectA = MakeAction("RemoveFromProjectA", "File", QStringLiteral("&Remove From Project"));
    ProjectManagerPM->setDefaultAction(OpenFileA);

    // The actions without a handler (adding an existing project, the save
    // actions) do nothing: nothing in the program reads or writes project
    // files.
    connect(AddNewProjectA, &QAction::triggered, this, Guard([this] { AddNewProjectAExecute(); }));
    connect(RenameProjectGroupA, &QAction::triggered, this, Guard([this] { RenameProjectGroupAExecute(); }));
    connect(AddToProjectA, &QAction::triggered, this, Guard([this] { AddToProjectAExecute(); }));
    connect(AddNewToProjectA, &QAction::triggered, this, Guard([this] { AddNewToProjectAExecute(); }));
    connect(RenameProjectA, &QAction::triggered, this, Guard([this] { RenameProjectAExecute(); }));
    connect(RemoveProjectA, &QAction::triggered, this, Guard([this] { RemoveProjectAExecute(); }));
    connect(ActivateA, &QAction::triggered, this, Guard([this] { ActivateAExecute(); }));
    connect(OpenFileA, &QAction::triggered, this, Guard([this] { OpenFileAExecute(); }));
    connect(RenameFileA, &QAction::triggered, this, Guard([this] { RenameFileAExecute(); }));
    connect(RemoveFromProjectA, &QAction::triggered, this, Guard([this] { RemoveFromProjectAExecute(); }));

    connect(ProjectManagerTV, &QTreeWidget::currentItemChanged, this, Guard([this](QTreeWidgetItem* node, auto&&...) {
                if (!Building)
                    ProjectManagerTVChange(node);
            }));
    connect(ProjectManagerTV, &QTreeWidget::itemChanged, this, Guard([this](QTreeWidgetItem* node, auto&&...) {
                if (!Building)
                    ProjectManagerTVEdited(node);
            }));
    connect(ProjectManagerTV, &QTreeWidget::itemCollapsed, this, Guard([this](QTreeWidgetItem* node, auto&&...) {
                if (Building)
                    return;
                if (ProjectManagerTVCollapsing(node)) {
                    ProjectManagerTVCollapsed(node);
                } else {
                    Building = true;
                    node->setExpanded(true);
                    Building = false;
                }
            }));
    connect(ProjectManagerTV, &QTreeWidget::itemExpanded, this, Guard([this](QTreeWidgetItem* node, auto&&...) {
                if (!Building)
                    ProjectManagerTVExpanded(node);
            }));
    connect(ProjectManagerTV, &QTreeWidget::itemDoubleClicked, this,
            Guard([this](QTreeWidgetItem* node, auto&&...) { ProjectManagerTVDblClick(node); }));
    connect(ProjectManagerTV, &QWidget::customContextMenuRequested, this,
            Guard([this](const QPoint& point) { PopupAt(point); }));

    // The tree shows the group from the start, not only after the first
    // refresh of the views.
    UpdateView();
}

TProjectManagerF::~TProjectManagerF() = default;

QAction* TProjectManagerF::MakeAction(const char* name, const char* category, const QString& caption)
{
    // "-" names a separator, which carries no text (a style draws a
    // separator's text as a section heading).
    const bool separator = caption == QLatin1String("-");
    auto* action = new QAction(separator ? QString() : caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setProperty(CategoryProperty, QString::fromLatin1(category));
    action->setSeparator(separator);
    ProjectManagerPM->addAction(action);
    ProjectManagerAL.push_back(action);
    return action;
}

// ---------------------------------------------------------------------------
// Nodes

int TProjectManagerF::LevelOf(const QTreeWidgetItem* node)
{
    if (!node)
        return -1;
    int level = 0;
    for (const QTreeWidgetItem* up = node->parent(); up; up = up->parent())
        ++level;
    return level;
}

TProject* TProjectManagerF::ProjectOf(const QTreeWidgetItem* node) const
{
    // The node's data is trusted only while the project is still the
    // group's.
    if (LevelOf(node) != 1 || !Group)
        return nullptr;
    const void* data = DataOf(node);
    for (i32 i = 0; i < Group->GetProjectCount(); ++i)
        if (TProject* project = Group->GetProject(i); project && project == data)
            return project;
    return nullptr;
}

TAsmFile* TProjectManagerF::FileOf(const QTreeWidgetItem* node) const
{
    if (LevelOf(node) != 2)
        return nullptr;
    TProject* project = ProjectOf(node->parent());
    if (!project)
        return nullptr;
    const void* data = DataOf(node);
    for (i32 j = 0; j < project->GetFileCount(); ++j)
        if (TAsmFile* file = project->GetFile(j); file && file == data)
            return file;
    return nullptr;
}

QTreeWidgetItem* TProjectManagerF::GetSelectedNode() const
{
    return ProjectManagerTV->currentItem();
}

QTreeWidgetItem* TProjectManagerF::GetGroupNode() const
{
    return ProjectManagerTV->topLevelItem(0);
}

void TProjectManagerF::SelectNode(QTreeWidgetItem* node)
{
    ProjectManagerTV->setCurrentItem(node);
}

QString TProjectManagerF::GetStatusText() const
{
    return ProjectManagerSBPanel->text();
}

std::vector<QAction*> TProjectManagerF::VisibleActions() const
{
    std::vector<QAction*> visible;
    for (QAction* action : ProjectManagerPM->actions())
        if (action->isVisible())
            visible.push_back(action);
    return visible;
}

// ---------------------------------------------------------------------------
// The tree

void TProjectManagerF::UpdateView()
{
    if (!Group) {
        ProjectManagerTV->clear();
        return;
    }
    if (Group->IsModified())
        Rebuild();
}

void TProjectManagerF::Rebuild()
{
    // The selection is kept by what the node stands for.
    const QTreeWidgetItem* selected = GetSelectedNode();
    const int selectedLevel = LevelOf(selected);
    const void* selectedData = selectedLevel == 1 ? static_cast<const void*>(ProjectOf(selected))
                               : selectedLevel == 2 ? static_cast<const void*>(FileOf(selected))
                                                    : nullptr;

    bool activeFound = false;
    for (i32 i = 0; i < Group->GetProjectCount(); ++i)
        activeFound = activeFound || (ActiveProject && Group->GetProject(i) == ActiveProject);
    if (!activeFound)
        ActiveProject = nullptr;

    QTreeWidgetItem* reselect = nullptr;
    Building = true;
    ProjectManagerTV->clear();
    auto* top = new QTreeWidgetItem(ProjectManagerTV);
    top->setText(0, FromBytes(Group->GetName()));
    top->setIcon(0, ProjectManagerIL[ImageGroup]);
    top->setFlags(top->flags() | Qt::ItemIsEditable);
    if (selectedLevel == 0)
        reselect = top;
    for (i32 i = 0; i < Group->GetProjectCount(); ++i) {
        TProject* project = Group->GetProject(i);
        auto* node = new QTreeWidgetItem(top);
        if (!project) {
            node->setText(0, QStringLiteral("<ErrorProject%1>").arg(i));
            continue;
        }
        node->setText(0, FromBytes(project->GetName()));
        node->setIcon(0, ProjectManagerIL[ImageProject]);
        node->setFlags(node->flags() | Qt::ItemIsEditable);
        SetData(node, project);
        if (selectedData == project)
            reselect = node;
        for (i32 j = 0; j < project->GetFileCount(); ++j) {
            TAsmFile* file = project->GetFile(j);
            auto* leaf = new QTreeWidgetItem(node);
            if (!file) {
                leaf->setText(0, QStringLiteral("<ErrorFile%1>").arg(j));
                continue;
            }
            leaf->setText(0, FromBytes(file->GetName()));
            leaf->setIcon(0, ProjectManagerIL[ImageFile]);
            leaf->setFlags(leaf->flags() | Qt::ItemIsEditable);
            SetData(leaf, file);
            if (selectedData == file)
                reselect = leaf;
        }
        node->setExpanded(project->IsExpanded());
        ProjectManagerTVCustomDrawItem(node);
    }
    top->setExpanded(true);
    RenameProjectGroupA->setEnabled(Group->HasName());
    Building = false;

    if (reselect)
        SelectNode(reselect);
}

void TProjectManagerF::Changed()
{
    Rebuild();
    for (QObject* component : TComponentRegistry::Of(Owner()).OfClass("TProjectManagerF"))
        if (auto* other = static_cast<TProjectManagerF*>(component); other != this && other->Group == Group)
            other->UpdateView();
    TEditorF::DropClosedPagesOf(Owner());
}

void TProjectManagerF::ProjectManagerTVChange(QTreeWidgetItem* node)
{
    if (!node)
        return;
    switch (LevelOf(node)) {
    case 0:
        ProjectManagerSBPanel->setText(FromBytes(Group->GetPath()));
        break;
    case 1:
        if (TProject* project = ProjectOf(node))
            ProjectManagerSBPanel->setText(FromBytes(project->GetPath()));
        break;
    case 2:
        if (TAsmFile* file = FileOf(node))
            ProjectManagerSBPanel->setText(FromBytes(file->GetPath()));
        break;
    default:
        break;
    }
}

void TProjectManagerF::ProjectManagerTVCustomDrawItem(QTreeWidgetItem* node)
{
    QFont font = node->font(0);
    font.setBold(ActiveProject && ProjectOf(node) == ActiveProject);
    node->setFont(0, font);
}

bool TProjectManagerF::ProjectManagerTVCollapsing(QTreeWidgetItem* node)
{
    return LevelOf(node) != 0;
}

void TProjectManagerF::ProjectManagerTVCollapsed(QTreeWidgetItem* node)
{
    if (TProject* project = ProjectOf(node))
        project->SetExpanded(false);
}

void TProjectManagerF::ProjectManagerTVExpanded(QTreeWidgetItem* node)
{
    if (TProject* project = ProjectOf(node))
        project->SetExpanded(true);
}

void TProjectManagerF::ProjectManagerTVEdited(QTreeWidgetItem* node)
{
    if (LevelOf(node) == 0)
        Group->SetName(node->text(0).toStdString());
    // The tree is rebuilt once the editor has let go of the node. Projects
    // and files have no name to change, so their nodes show the old one.
    QMetaObject::invokeMethod(
        this,
        [this] {
            RunGuarded([this] {
                Changed();
                ProjectManagerTVChange(GetSelectedNode());
            });
        },
        Qt::QueuedConnection);
}

void TProjectManagerF::ProjectManagerTVDblClick(QTreeWidgetItem* node)
{
    switch (LevelOf(node)) {
    case 1:
        if (TProject* project = ProjectOf(node)) {
            ActiveProject = project;
            project->SetExpanded(!project->IsExpanded());
            Changed();
        }
        break;
    case 2:
        SelectNode(node);
        OpenFileAExecute();
        break;
    default:
        break;
    }
}

void TProjectManagerF::ProjectManagerTVKeyDown(int key)
{
    if (key != KeyF2)
        return;
    switch (LevelOf(GetSelectedNode())) {
    case 0:
        if (Group->HasName())
            RenameProjectGroupAExecute();
        break;
    case 1:
        RenameProjectAExecute();
        break;
    case 2:
        RenameFileAExecute();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// The popup

void TProjectManagerF::PopupAt(const QPoint& point)
{
    // A right click selects the node under it; on empty space none.
    SelectNode(ProjectManagerTV->itemAt(point));
    ProjectManagerPMPopup();
    bool anything = false;
    for (QAction* action : VisibleActions())
        anything = anything || !action->isSeparator();
    if (anything)
        ProjectManagerPM->popup(ProjectManagerTV->viewport()->mapToGlobal(point));
}

void TProjectManagerF::ProjectManagerPMPopup()
{
    RenameProjectGroupA->setEnabled(Group && Group->HasName());
    if (QTreeWidgetItem* node = GetSelectedNode()) {
        SelectNode(node);
        static const char* const categories[] = {"ProjectGroup", "Project", "File"};
        const int level = LevelOf(node);
        ShowActions(QString::fromLatin1(level >= 0 && level <= 2 ? categories[level] : "Panel"));
    } else {
        ShowActions(QStringLiteral("Panel"));
    }
}

void TProjectManagerF::ShowActions(const QString& category)
{
    for (QAction* action : ProjectManagerAL)
        action->setVisible(action->property(CategoryProperty).toString() == category);
}

// ---------------------------------------------------------------------------
// Commands

void TProjectManagerF::AddNewProjectAExecute()
{
    ActiveProject = Group->NewProject();
    Changed();
}

void TProjectManagerF::RemoveProjectAExecute()
{
    TProject* project = ProjectOf(GetSelectedNode());
    if (!project)
        return;
    const QString question = QStringLiteral("Are you sure you want to remove ") + FromBytes(project->GetName()) +
                             QStringLiteral(" from the project group?");
    if (MessageBoxes().MessageBox(this, QStringLiteral("Confirm"), question, TMessageIcon::Question,
                                  TMessageButtons::YesNo) != TMessageResult::Yes)
        return;
    if (ActiveProject == project)
        ActiveProject = nullptr;
    Group->RemoveProject(project);
    Changed();
}

void TProjectManagerF::RemoveFromProjectAExecute()
{
    QTreeWidgetItem* node = GetSelectedNode();
    TAsmFile* file = FileOf(node);
    if (!file)
        return;
    const QString question = QStringLiteral("Remove ") + FromBytes(file->GetName()) + QStringLiteral("?");
    if (MessageBoxes().MessageBox(this, QStringLiteral("Confirm"), question, TMessageIcon::Question,
                                  TMessageButtons::YesNo) != TMessageResult::Yes)
        return;
    // The box may have let other work run: look the file up again.
    node = GetSelectedNode();
    file = FileOf(node);
    if (TProject* project = ProjectOf(node ? node->parent() : nullptr); project && file)
        project->RemoveFile(file);
    Changed();
}

void TProjectManagerF::AddNewToProjectAExecute()
{
    if (TProject* project = ProjectOf(GetSelectedNode())) {
        project->NewFile();
        Changed();
    }
}

void TProjectManagerF::AddToProjectAExecute()
{
    if (!ProjectOf(GetSelectedNode()))
        return;
    // The projects' folder is only a name shown in their paths: the dialog
    // opens where the user last was.
    const QString path = FileDialogs().GetOpenFileName(this, QStringLiteral("Add to project"), QString(),
                                                       QStringLiteral("Z80 Assembler|*.asm"));
    if (path.isEmpty())
        return;
    if (TProject* project = ProjectOf(GetSelectedNode())) {
        project->AddFile(QFile::encodeName(path).toStdString());
        Changed();
    }
}

void TProjectManagerF::ActivateAExecute()
{
    if (TProject* project = ProjectOf(GetSelectedNode())) {
        ActiveProject = project;
        Changed();
    }
}

void TProjectManagerF::OpenFileAExecute()
{
    TAsmFile* file = FileOf(GetSelectedNode());
    if (!file)
        return;
    TViewF* view = Ide.FindView(TIDE::KindEditor, false);
    if (!view)
        view = Ide.ShowView(TIDE::KindEditor);
    if (auto* editor = qobject_cast<TEditorF*>(view))
        editor->OpenFile(file);
}

void TProjectManagerF::EditSelected(int level)
{
    QTreeWidgetItem* node = level == 0 ? GetGroupNode() : GetSelectedNode();
    if (node && LevelOf(node) == level)
        ProjectManagerTV->editItem(node, 0);
}

void TProjectManagerF::RenameProjectGroupAExecute()
{
    EditSelected(0);
}

void TProjectManagerF::RenameProjectAExecute()
{
    EditSelected(1);
}

void TProjectManagerF::RenameFileAExecute()
{
    EditSelected(2);
}
