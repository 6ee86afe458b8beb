// Resource identifiers shared by zplport.rc and the code.
#pragma once

#define IDI_ZPLPORT 1
