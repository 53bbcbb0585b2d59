#pragma once
// The running state shared by every window, from start-up to exit, in parts that change
// together; each part announces its changes. One instance, owned by the application: the
// controllers change it, the windows read it and follow its announcements.
#include "core/state/camcatalogue.h"
#include "core/state/camhealth.h"
#include "core/state/countdowns.h"
#include "core/state/selectedcam.h"
#include "core/state/viewerswitches.h"

struct RunningState
{
    CamCatalogue catalogue;
    SelectedCam selection;
    ViewerSwitches switches;
    Countdowns countdowns;
    // By cam id.
    CamHealthTable health;

    // Starts the auto-shuffle countdown afresh from its interval box.
    void reloadShuffleCountdown() { countdowns.setShuffle(countdown::Countdown::loadedFrom(switches.shuffleIntervalNow())); }
};
