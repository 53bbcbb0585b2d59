#include "control/heartbeat.h"
