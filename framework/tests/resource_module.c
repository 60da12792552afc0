/* A module that only carries resources (the uninstaller's, for the tests). */
int zep_resource_module_marker = 1;
