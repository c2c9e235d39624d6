// TProjectManagerF: the tool view that shows the project group as a tree of
// three levels (the group, its projects, their source files) and changes it
// through a popup menu whose actions fit the level of the selected node: it
// adds projects and files, removes them after a confirmation, renames the
// group, marks one project as active (drawn bold) and opens files in the
// source viewer.
//
// The tree holds nothing of its own: it is rebuilt from the group at every
// update and after every command, keeping the projects' expanded flags, the
// active project and the selected node across rebuilds. The group, its
// projects and their files outlive the view.
#pragma once

#include "shell/View_frame.h"

#include <QString>

#include <vector>

class QAction;
class QIcon;
class QLabel;
class QMenu;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;
class TAsmFile;
class TIDE;
class TProject;
class TProjectGroup;

class TProjectManagerF : public TViewF {
    Q_OBJECT

public:
    // Images of ProjectManagerIL.
    enum TImage { ImageGroup = 0, ImageProject = 1, ImageFile = 2 };
    static constexpr int KeyF2 = 113;

    // The group is the view manager's; the view does not own it. Source
    // files open in the source viewer of the given view manager.
    TProjectManagerF(QWidget* owner, TProjectGroup* group, TIDE& ide);
    ~TProjectManagerF() override;

    // --- TViewF ---
    // Rebuilds the tree from the group.
    void UpdateView() override;

    // --- Handlers ---
    void AddNewProjectAExecute();
    void RemoveProjectAExecute();
    void RenameProjectGroupAExecute();
    void ActivateAExecute();
    void RenameProjectAExecute();
    void AddNewToProjectAExecute();
    void AddToProjectAExecute();
    void RenameFileAExecute();
    void RemoveFromProjectAExecute();
    void OpenFileAExecute();
    void ProjectManagerPMPopup();
    void ProjectManagerTVChange(QTreeWidgetItem* node);
    void ProjectManagerTVEdited(QTreeWidgetItem* node);
    // False for the group node: it is never collapsed.
    bool ProjectManagerTVCollapsing(QTreeWidgetItem* node);
    void ProjectManagerTVCollapsed(QTreeWidgetItem* node);
    void ProjectManagerTVExpanded(QTreeWidgetItem* node);
    void ProjectManagerTVCustomDrawItem(QTreeWidgetItem* node);
    void ProjectManagerTVDblClick(QTreeWidgetItem* node);
    // key: a virtual key code (F2 is 113).
    void ProjectManagerTVKeyDown(int key);
    // Shows the actions of the category, hides all others.
    void ShowActions(const QString& category);

    // --- Inspection (tests) ---
    TProject* GetActiveProject() const { return ActiveProject; }
    QString GetStatusText() const;
    // The node's level: 0 group, 1 project, 2 file; -1 for none.
    static int LevelOf(const QTreeWidgetItem* node);
    TProject* ProjectOf(const QTreeWidgetItem* node) const;
    TAsmFile* FileOf(const QTreeWidgetItem* node) const;
    // Selects the node (null: none), as a click would.
    void SelectNode(QTreeWidgetItem* node);
    QTreeWidgetItem* GetSelectedNode() const;
    QTreeWidgetItem* GetGroupNode() const;
    // The visible actions of the popup, in menu order (separators as "-").
    std::vector<QAction*> VisibleActions() const;

    // Components, named as the form names them.
    QTreeWidget* ProjectManagerTV;
    QStatusBar* ProjectManagerSB;
    QLabel* ProjectManagerSBPanel;
    std::vector<QIcon> ProjectManagerIL;
    QMenu* ProjectManagerPM;
    std::vector<QAction*> ProjectManagerAL;
    QAction* AddNewProjectA;
    QAction* AddExistingProjectA;
    QAction* ProjectGroupSeparatorA;
    QAction* SaveProjectGroupA;
    QAction* SaveProjectGroupAsA;
    QAction* RenameProjectGroupA;
    QAction* AddToProjectA;
    QAction* AddNewToProjectA;
    QAction* ProjectSeparatorA;
    QAction* SaveProjectA;
    QAction* SaveAsProjectA;
    QAction* RenameProjectA;
    QAction* RemoveProjectA;
    // The project separator's second place in the popup (one Qt action
    // cannot stand twice in a menu).
    QAction* ProjectSeparator2A;
    QAction* ActivateA;
    QAction* OpenFileA;
    QAction* FileSeparatorA;
    QAction* SaveFileA;
    QAction* SaveAsFileA;
    QAction* RenameFileA;
    QAction* RemoveFromProjectA;

private:
    QAction* MakeAction(const char* name, const char* category, const QString& caption);
    void Rebuild();
    // Starts editing the selected node when it is of the level.
    void EditSelected(int level);
    // The group changed: every project manager of the owner on this group
    // rebuilds, and source-viewer pages of deleted files close.
    void Changed();
    void PopupAt(const QPoint& point);

    TProjectGroup* Group;
    TIDE& Ide;
    TProject* ActiveProject = nullptr;
    // Expand and collapse signals of a rebuild are not the user's.
    bool Building = false;
};
