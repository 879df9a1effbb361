// Raw data resources (RCDATA) of the running module.
#pragma once
#include <windows.h>

#include <string>

// The bytes of an RCDATA resource; false when there is none by that name.
bool TryLoadRCData(const std::string& name, std::string& out, HMODULE module = nullptr);
// Throws Exception "Resource <name> not found" when absent.
std::string LoadRCData(const std::string& name, HMODULE module = nullptr);
