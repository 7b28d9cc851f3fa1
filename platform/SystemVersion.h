#pragma once

// The operating-system version as the program's version checks expect it.
// Linux always counts as the newest system (10.0); tests reach the branches
// for older systems by overriding it.

struct OsVersion
{
    int nMajor = 10;
    int nMinor = 0;
};

OsVersion GetOsVersion();
// True when the system is older than major.minor.
bool IsOsOlderThan(int nMajor, int nMinor = 0);
void SetOsVersionForTesting(const OsVersion& version);
void ResetOsVersionForTesting();
