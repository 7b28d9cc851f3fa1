#include "ModalDialogs.h"

namespace {

// Dialogs run on the user-interface thread only.
int g_nModalDialogs = 0;

} // namespace

CModalDialogScope::CModalDialogScope()
{
    ++g_nModalDialogs;
}

CModalDialogScope::~CModalDialogScope()
{
    --g_nModalDialogs;
}

int GetOpenModalDialogCount()
{
    return g_nModalDialogs;
}
