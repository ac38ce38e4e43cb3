#pragma once
// The access-rights check as the GUI tests see it: granted unless a test (or ZR_GUI_PROBE_NO_RIGHTS)
// says otherwise. It stands in for the platform's check: defined in the program itself, it keeps the
// library's version (installRights.cpp) from being linked.

extern bool gInstallRightsGranted;
