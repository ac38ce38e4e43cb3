#pragma once
// The access-rights check as the GUI tests see it: granted unless a test (or ZR_GUI_PROBE_NO_RIGHTS)
// says otherwise. It stands in for the platform's check, which these programs do not link.

extern bool gInstallRightsGranted;
