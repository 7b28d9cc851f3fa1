#pragma once

// The document of the open image and a small document/view layer: a
// document knows its views and tells them about changes with a hint; each
// view reacts in its update hook.

#include <QString>
#include <cstdint>
#include <vector>

class CLTDataItem;
class CDocumentBase;

// Hints of UpdateAllViews.
inline constexpr std::intptr_t HINT_FOLDER_CHANGED = 1;
inline constexpr std::intptr_t HINT_IMAGE_RELOADED = 2;

class CViewBase
{
public:
    virtual ~CViewBase();
    CDocumentBase* GetDocument() const { return m_pDocument; }

    // Called for every UpdateAllViews except on the view that sent it.
    virtual void OnUpdate(CViewBase* pSender, std::intptr_t lHint) = 0;

private:
    friend class CDocumentBase;
    CDocumentBase* m_pDocument = nullptr;
};

class CDocumentBase
{
public:
    virtual ~CDocumentBase();

    // A view is registered with one document at a time; registering it with
    // another removes it from the first.
    void AddView(CViewBase* pView);
    void RemoveView(CViewBase* pView);
    const std::vector<CViewBase*>& Views() const { return m_views; }

    // Tells every view but `pSender` (which may be null) about a change.
    void UpdateAllViews(CViewBase* pSender, std::intptr_t lHint = 0);

private:
    std::vector<CViewBase*> m_views;
};

// The single document: it owns the data tree of the open image and knows
// the folder the file list shows.
class CLanternDoc : public CDocumentBase
{
public:
    // Starts with a lone root labelled with string 654.
    CLanternDoc();
    ~CLanternDoc() override;

    CLanternDoc(const CLanternDoc&) = delete;
    CLanternDoc& operator=(const CLanternDoc&) = delete;

    bool CreateRootItem();
    bool DeleteRootItem();
    // Replaces the tree by a lone root and forgets the current folder. The
    // caller then tells the views (HINT_IMAGE_RELOADED).
    void ResetTree();

    CLTDataItem* m_pRootItem = nullptr;
    CLTDataItem* m_pCurrentFolder = nullptr;
};

// The label of a lone root: "no image open".
inline constexpr int IDS_NO_IMAGE = 654;
