// The plug-in's exported boundary: undecorated cdecl functions, one-byte booleans, 32-bit ints.
#pragma once

#include "remotes/records.h"

extern "C" {

typedef unsigned char bool8;

// Capability answers.
const char* DeviceName(void);
bool8 OpenDevice(int port);
void CloseDevice(void);
void InitDevice(void);
bool8 NeedBitrate(void);
bool8 NeedCarrierFrequency(void);
int FindBitRate(void);
int FindCarrierFrequency(void);
int RecordCommand(void);
bool8 CanMacroTune(void);

// Remote code sets.
Remote* CreateRemote(char* name, std::uint32_t carrier_freq, std::uint32_t bit_time,
                     Command* commands);
void AddRemote(Remote* remote, Remote** head);
Command* CreateCommand(char* name, Pattern* patterns);
void AddCommand(Command* command, Command** head);
void FreeRemotes(Remote** head);
Remote* LoadRemotes(const char* path);
void SaveRemotes(Remote* first, const char* path);

// Control.
void PlayCommand(const Remote* remote, const char* command);
void MacroTune(int channel);

}  // extern "C"
