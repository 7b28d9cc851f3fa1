#pragma once

// What the views ask of the main window they live in.

#include "CommandIds.h"

#include <QString>
#include <cstdint>

class IFrameHost
{
public:
    virtual ~IFrameHost() = default;
    // Sets the main window's title.
    virtual void SetFrameTitle(const QString& title) = 0;
    // Puts the progress bar back to 0 before an operation.
    virtual void ResetProgress() = 0;
    // Hands an event of the engine's kind to the frame's progress handling
    // (the commands send the end events this way).
    virtual void SendProgressEvent(std::uint32_t nCode, const QString* pParam) = 0;
    // Set while the View command copies a file out to open it: the frame
    // then words the engine's failures for that case.
    virtual void SetViewingTempCopy(bool bViewing) = 0;
    // Steps aside while another program works with the image: minimized,
    // hidden and closed to input.
    virtual void HideForHandOff() = 0;
    // Back from a hand-off: open to input, shown and restored.
    virtual void RestoreAfterHandOff() = 0;
};

// Where the command bar sends its clicks and asks whether its buttons are
// enabled: the frame's command route (active view, then frame, then
// application).
class ICommandRouter
{
public:
    virtual ~ICommandRouter() = default;
    virtual void RouteCommand(int nID) = 0;
    virtual CCmdUI QueryCommand(int nID) = 0;
};
