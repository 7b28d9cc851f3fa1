#pragma once

// Starting Fenmount: one copy runs per machine at a time (it holds the
// program's named mutex for its whole run); a second start hands over to
// the running copy and ends.
//
//   Fenmount                        a window to mount images from
//   Fenmount IMAGE                  mounts IMAGE, stays open
//   Fenmount IMAGE /INTEROPMODE     mounts IMAGE, ends once it is unmounted
//                                   (the viewer waits for that)

#include <QString>
#include <QStringList>
#include <memory>

class CMounterWnd;
class CNamedMutex;

struct CMounterArgs
{
    QString strImage;
    bool bInterop = false;
};

// The command line without the program's name.
CMounterArgs ParseMounterArgs(const QStringList& args);

// Loads the program's texts from Fenmount.lang beside the program.
bool LoadMounterLanguage();

class CMounterInstance
{
public:
    // Takes the program's place and shows its window, or hands `args` over
    // to the running copy (restored, brought forward, given the image) and
    // gives null.
    static std::unique_ptr<CMounterInstance> Start(const CMounterArgs& args);
    ~CMounterInstance();

    CMounterWnd* Window() const { return m_pWnd.get(); }

private:
    CMounterInstance() = default;
    std::unique_ptr<CNamedMutex> m_pMutex;
    std::unique_ptr<CMounterWnd> m_pWnd;
};
