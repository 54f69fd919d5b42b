#include "jobs/InstallScript.h"
