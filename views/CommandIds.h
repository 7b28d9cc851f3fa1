#pragma once

#include <functional>

// Command IDs, window messages and control IDs of the browsing views. A
// command's ID is also the number of the string that gives its tooltip.

inline constexpr int ID_IMAGE_OPEN = 639;
inline constexpr int ID_FILE_VIEW = 640;
inline constexpr int ID_EXTRACT = 641;
inline constexpr int ID_VIEW_MODE = 642;
inline constexpr int ID_VIEW_SMALLICON = 643;
inline constexpr int ID_VIEW_LIST = 644;
inline constexpr int ID_VIEW_DETAILS = 645;
inline constexpr int ID_VIEW_LARGEICON = 646;
inline constexpr int ID_BURN_IMAGE = 661;
inline constexpr int ID_MOUNT_IMAGE = 671;
// Finding and checking files of the image.
inline constexpr int ID_FIND = 9340;
inline constexpr int ID_PROPERTIES = 9341;
inline constexpr int ID_CHECKSUM = 9342;
inline constexpr int ID_VERIFY = 9343;
inline constexpr int ID_VERIFY_WITH = 9344;
inline constexpr int ID_APP_EXIT = 0xE141;
inline constexpr int ID_FILE_NEW = 0xE100;

// Messages between the views.
inline constexpr int WM_SELECT_CHILD_FOLDER = 0x0A17;
inline constexpr int WM_PROGRESS_CANCEL = 0x0BDA;

// Control IDs, kept as object names' numbers for tests and diagnostics.
inline constexpr int IDC_FOLDER_TREE = 109;
inline constexpr int IDC_FILE_LIST = 648;

// List view styles (the list control's type values).
inline constexpr unsigned LVS_ICON = 0;
inline constexpr unsigned LVS_REPORT = 1;
inline constexpr unsigned LVS_SMALLICON = 2;
inline constexpr unsigned LVS_LIST = 3;

// Icon resources.
inline constexpr int IDI_DISC = 131;

// The state of a command for its menu item or button, filled by the
// update handlers along the command route.
struct CCmdUI
{
    int nID = 0;
    bool bEnabled = false;
    bool bChecked = false;
    bool bHandled = false;
    void Enable(bool b = true)
    {
        bEnabled = b;
        bHandled = true;
    }
    void SetCheck(bool b = true)
    {
        bChecked = b;
        bHandled = true;
    }
};

// Something commands are routed through: the active view, then the frame,
// then the application.
class CCommandTarget
{
public:
    using Handler = std::function<void()>;

    virtual ~CCommandTarget() = default;
    // What runs the command here; none when this target has no handler.
    virtual Handler CommandHandler(int /*nID*/) { return {}; }
    bool HasHandler(int nID) { return static_cast<bool>(CommandHandler(nID)); }
    // Runs the command; true when it was handled here.
    bool OnCommand(int nID)
    {
        const Handler handler = CommandHandler(nID);
        if (handler)
            handler();
        return static_cast<bool>(handler);
    }
    // True when this target decided the command's state.
    virtual bool OnUpdateCommand(CCmdUI& /*ui*/) { return false; }
};
