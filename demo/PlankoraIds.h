// Resource ids of Plankora.exe.
#pragma once

#define IDI_PLANKORA 1
