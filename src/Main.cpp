#include "app/VantryDriverHelperApplication.h"

START_JUCE_APPLICATION (VantryDriverHelperApplication)
