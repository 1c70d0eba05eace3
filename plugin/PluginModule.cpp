#include "plugin/PluginModule.h"

void* gModuleHandle = nullptr;
