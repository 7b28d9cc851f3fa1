#pragma once

// The right pane: the contents of the document's current folder in one of
// four styles (large icons, details, small icons, list), sorted by a click on
// a column header. It also carries the image commands.

#include "CommandIds.h"
#include "LanternDoc.h"

#include <QHeaderView>
#include <QListView>
#include <QStringList>
#include <QTreeView>
#include <QWidget>
#include <memory>

class CFileListModel;
class IFrameHost;
class CFolderTreeView;
class CLTDataItem;
class CTreeSearch;
class QLineEdit;
class QMimeData;
class QStackedLayout;
class QTimer;

// The column header: the sort arrow points up for an ascending sort and down
// for a descending one, whatever the style would draw.
class CLTHeaderCtrl : public QHeaderView
{
    Q_OBJECT
public:
    explicit CLTHeaderCtrl(QWidget* parent = nullptr);

    // Where the arrow of a section of this size is drawn.
    // Where the sort arrow goes: at the end of the section the label leaves
    // free, the left end for a right-aligned label.
    static QRect ArrowRect(const QRect& section, bool bRightAligned = false);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

// The list control: a details view with a header; the three icon styles are
// shown by a companion list view over the same rows and selection. Dragging
// rows out of either hands them to the owner.
class CLTListCtrl : public QTreeView
{
    Q_OBJECT
public:
    explicit CLTListCtrl(QWidget* parent = nullptr);

signals:
    void DragRequested();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
};

class CLTIconList : public QListView
{
    Q_OBJECT
public:
    explicit CLTIconList(QWidget* parent = nullptr);

signals:
    void DragRequested();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
};

class CFileListView : public QWidget, public CViewBase, public CCommandTarget
{
    Q_OBJECT
public:
    explicit CFileListView(CLanternDoc* pDoc, QWidget* parent = nullptr);
    ~CFileListView() override;

    CLanternDoc* GetDoc() const { return static_cast<CLanternDoc*>(GetDocument()); }

    void OnInitialUpdate();
    void OnUpdate(CViewBase* pSender, std::intptr_t lHint) override;

    // Sorts the current folder by a column: the first click ascending, each
    // further click on the same column the other way.
    void SortByColumn(int column);
    // Shows the folder's stored sort state as the header's arrow.
    void UpdateSortArrows(const CLTDataItem* pFolder);

    void SetViewStyle(unsigned style);
    unsigned GetViewStyle() const { return m_dwListStyle; }

    QString GetOpenImagePath() const { return m_strImagePath; }
    // The message for the last open that failed: the general text, and
    // beneath it the file and the reason where they are known.
    QString OpenFailureText() const;

    // Opens an image: resets the tree, loads the image's tree through the
    // engine, remembers its folder and sets the title. The status of the load.
    std::int32_t OpenImageFile(const QString& path);
    void SetFrameHost(IFrameHost* pHost) { m_pFrameHost = pHost; }
    void SetFolderTreeView(CFolderTreeView* pTree) { m_pFolderTreeView = pTree; }

    // The records of the selected rows, in row order.
    QList<CLTDataItem*> SelectedRecords() const;
    int SelectedCount() const;
    // Opens the record of a row: a folder is entered, a file viewed.
    void OpenRow(int row);

    // The commands of this view.
    Handler CommandHandler(int nID) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool OnUpdateCommand(CCmdUI& ui) override;
    void OnImageOpen();
    void OnFileView();
    void OnExtract();
    // Hand the image to the burner and to the virtual-drive program.
    void OnBurnImage();
    void OnMountImage();

    // Find: a search line above the list; what is typed is looked for in
    // the whole image, and the list shows what was found with each file's
    // folder until Escape, an empty line or another folder ends it.
    void OnFind();
    void EndFind();
    QLineEdit* FindLine() const { return m_pFindLine; }
    bool ShowsResults() const;
    // Whether a search is still under way (it runs between keystrokes).
    bool FindRunning() const { return m_pSearch != nullptr; }
    // Checksums of the selected files (every file of a selected folder), or
    // of the image file when nothing is selected.
    void OnChecksum();
    // Checks the files the image's checksum lists name, or, with
    // `bChooseList` or when the image holds none, those of a list the user
    // chooses on the disk.
    void OnVerify(bool bChooseList);
    // What the image records about the current row, or about the image
    // itself when no row (or the root) is selected.
    void OnProperties();
    // The same for a record of the tree (null: the image).
    void ShowProperties(const CLTDataItem* record);

    // Copies the selected rows into a new folder under the temporary folder
    // for a drag to another program; the copies' URLs, or null when nothing
    // was copied (cancelled, failed, no room).
    QMimeData* PrepareDragOut();

    CLTListCtrl* ListCtrl() const { return m_wndList; }
    CLTIconList* IconList() const { return m_wndIcons; }
    CFileListModel* Model() const { return m_pModel; }

    QString m_strImagePath;
    QString m_strOpenFailure;
    // Refuses a file that is missing, unreadable, empty or no image.
    std::int32_t CheckImageFile(const QString& path);
    QStringList m_listTempFiles;
    // Folders of copies made for dragging, removed with everything in them.
    QStringList m_listTempFolders;
    bool m_bOverwriteAll = false;
    bool m_bSkipAll = false;
    bool m_bCancelled = false;

private:
    // The checks before a hand-off: the image file is there (.iso and .adi)
    // and the reading module can open it; the views are cleared when not.
    bool CheckImageForHandOff();
    // Clears the views and the title, keeping the image path.
    void DropShownImage();

    void Refresh();
    void SetUpFindLine();
    void StartFind(const QString& text);
    void StepFind();
    // Leaves the results for the record's folder, the record selected.
    void ShowInFolder(CLTDataItem* record);
    void SortResults(int column);
    bool FindKey(QObject* watched, const QKeyEvent* key);
    QAbstractItemView* ActiveView() const;
    void StartDragOut();

    unsigned m_dwListStyle = LVS_REPORT;
    IFrameHost* m_pFrameHost = nullptr;
    CFolderTreeView* m_pFolderTreeView = nullptr;
    CFileListModel* m_pModel;
    CLTListCtrl* m_wndList;
    CLTIconList* m_wndIcons;
    QStackedLayout* m_pStack;
    QLineEdit* m_pFindLine;
    QTimer* m_pFindTimer;
    std::unique_ptr<CTreeSearch> m_pSearch;
    int m_nResultSort[5] = {}; // the four columns and the folder
};
