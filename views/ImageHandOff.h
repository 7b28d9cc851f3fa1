#pragma once

// Handing the open image to the suite's other programs: the burner, which
// writes it to a disc, and the virtual-drive program, which mounts it. Each
// is found by the named mutex it holds while it runs; the virtual-drive
// program also by its window's endpoint.

class IFrameHost;

// True when the burner is not running.
bool IsBurnerIdle();

// True when the request went to a virtual-drive program that was already
// running (brought to the front, sent the broadcast, and waited for with
// the main window out of the way), or when it must not be started; false
// when it should be started.
bool HandOffToRunningMountProgram(IFrameHost* pFrameHost);
