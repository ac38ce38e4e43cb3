#pragma once
// The access-rights check as the GUI tests see it: granted unless a test says otherwise. The stub is
// weak, so the platform's own check replaces it once a program links that in.

extern bool gInstallRightsGranted;
