// A stand-in for libkivlink.so whose answers each test scripts. The test executable links it, so it
// is already loaded under kivlink's soname when PENTREL.so is opened and PENTREL binds to it.
#pragma once

extern "C" {
void ScriptReset();                              // InitClient succeeds, every item fails
void ScriptInitResult(int result);
void ScriptItem(int item, const char* text);     // nullptr: OrvGet fails for the item
int ScriptCalls(int item);                       // OrvGet calls since the last reset
int ScriptInitCalls();
}
