#include "ui/window.h"
