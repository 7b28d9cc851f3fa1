#pragma once

// The skinned main-window frame, counting the close events it gets.

#include "GXTFrameWnd.h"

#include <QCloseEvent>

class RecordingFrame : public CGXTFrameWnd
{
public:
    int nCloseEvents = 0;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        ++nCloseEvents;
        CGXTFrameWnd::closeEvent(event);
    }
};
