// Helpers the dispatch units share to define, bind and list their pointer tables from
// ippnames.def. Include only from a dispatcher's source file.
#pragma once

#include "primitives/DVIPPILoader.h"
#include "primitives/DVIPPSLoader.h"

// The library group of a list entry decides where its name is looked up.
#define FUNDREL_LOOKUP_S(name) ::fundrel::DVIPPSLoader::GetIPPSProcAddress(name)
#define FUNDREL_LOOKUP_I(name) ::fundrel::DVIPPILoader::GetIPPIProcAddress(name)

// Per selected entry: the variable's definition, its binding statement, its listing row.
#define FUNDREL_DEFINE_ENTRY(name) TPtr_##name name = nullptr;
#define FUNDREL_BIND_ENTRY(lib, name) name = reinterpret_cast<TPtr_##name>(FUNDREL_LOOKUP_##lib(#name));
#define FUNDREL_LIST_ENTRY(table, name) {#table, #name, reinterpret_cast<const void*>(name)},
