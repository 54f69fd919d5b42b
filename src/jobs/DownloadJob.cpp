#include "jobs/DownloadJob.h"
