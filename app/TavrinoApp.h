#pragma once

#include "platform/ui/WinApp.h"

// The planner's application object.
class CTavrinoApp : public CWinApp {
    Q_OBJECT
public:
    CTavrinoApp();

    bool InitInstance() override;
    void OnAppAbout();
};
