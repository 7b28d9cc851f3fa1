#include "LanternDoc.h"

#include "LTDataItem.h"
#include "LangResources.h"

#include <algorithm>

CViewBase::~CViewBase()
{
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

CDocumentBase::~CDocumentBase()
{
    for (CViewBase* view : m_views)
        view->m_pDocument = nullptr;
}

void CDocumentBase::AddView(CViewBase* pView)
{
    if (!pView || pView->m_pDocument == this)
        return;
    if (pView->m_pDocument)
        pView->m_pDocument->RemoveView(pView);
    m_views.push_back(pView);
    pView->m_pDocument = this;
}

void CDocumentBase::RemoveView(CViewBase* pView)
{
    const auto it = std::find(m_views.begin(), m_views.end(), pView);
    if (it == m_views.end())
        return;
    m_views.erase(it);
    pView->m_pDocument = nullptr;
}

void CDocumentBase::UpdateAllViews(CViewBase* pSender, std::intptr_t lHint)
{
    // A view may add or remove views while it updates: walk a copy, and
    // skip views that have left meanwhile.
    const std::vector<CViewBase*> views = m_views;
    for (CViewBase* view : views) {
        if (view != pSender && std::find(m_views.begin(), m_views.end(), view) != m_views.end())
            view->OnUpdate(pSender, lHint);
    }
}

CLanternDoc::CLanternDoc()
{
    CreateRootItem();
}

CLanternDoc::~CLanternDoc()
{
    DeleteRootItem();
    m_pCurrentFolder = nullptr;
}

bool CLanternDoc::CreateRootItem()
{
    m_pRootItem = new CLTDataItem(LoadResString(IDS_NO_IMAGE), KIND_ROOT, 0, 0);
    return true;
}

bool CLanternDoc::DeleteRootItem()
{
    delete m_pRootItem;
    m_pRootItem = nullptr;
    return true;
}

void CLanternDoc::ResetTree()
{
    m_pCurrentFolder = nullptr;
    DeleteRootItem();
    CreateRootItem();
}
