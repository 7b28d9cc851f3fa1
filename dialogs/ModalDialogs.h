#pragma once

// The number of modal dialogs now open in this process. Every modal dialog
// raises it while it runs, so the main window can refuse work handed to it
// from outside (an image passed by a second instance) while one is open.
// The application object will expose this count as its m_nModalDialogs.

class CModalDialogScope
{
public:
    CModalDialogScope();
    ~CModalDialogScope();
    CModalDialogScope(const CModalDialogScope&) = delete;
    CModalDialogScope& operator=(const CModalDialogScope&) = delete;
};

int GetOpenModalDialogCount();
