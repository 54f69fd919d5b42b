#pragma once

#include <juce_core/juce_core.h>
