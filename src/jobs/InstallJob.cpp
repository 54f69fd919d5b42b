#include "jobs/InstallJob.h"
