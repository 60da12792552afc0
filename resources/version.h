/* The programs' own version: their version blocks and the first line of an
   unattended run's log. (The driver's version is installer strings 1 to 4.) */
#ifndef ZEP_RESOURCES_VERSION_H
#define ZEP_RESOURCES_VERSION_H
#define ZEP_FILE_VERSION 1,1,0,0
#define ZEP_FILE_VERSION_TEXT "1, 1, 0, 0"
#define ZEP_VERSION_TEXT "1.1.0.0"
#endif
