// Resource ids of the plug-in's templates and strings.
#pragma once

#define IDD_UNIT_WINDOW 353
#define IDD_UNIT_CONFIG 354
#define IDD_ABOUT 355
#define IDS_VERSION 2
