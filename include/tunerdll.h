/* TunerDLL: the plug-in's exports and the records it shares with its host.
 *
 * A host loads TunerDLL.dll of its own width (a 32-bit program the 32-bit DLL, a 64-bit program
 * the 64-bit one) and calls these functions on one thread, one call at a time. Every function is
 * cdecl with an undecorated name. Records reachable from a remote list are allocated with the C
 * runtime's malloc and belong to the list: FreeRemotes releases them with free.
 *
 * The records' fields stand in the order below with the platform's natural layout: 32-bit hosts
 * see Remote and Pattern as 20 bytes and Command as 12; 64-bit hosts see 32, 32 and 24. */
#ifndef TUNERDLL_H
#define TUNERDLL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char bool8; /* 0 false, 1 true */

typedef struct Pattern {
  uint32_t bit_length;
  uint32_t length; /* bytes in `bytes` */
  char r_flag;
  unsigned char* bytes;
  struct Pattern* next;
} Pattern;

typedef struct Command {
  char* name; /* PlayCommand sends the key its leading digit names */
  Pattern* patterns;
  struct Command* next;
} Command;

typedef struct Remote {
  char* name; /* also the tuner name PlayCommand looks up in tuner.txt */
  uint32_t carrier_freq;
  uint32_t bit_time;
  Command* commands;
  struct Remote* next;
} Remote;

/* Capability answers. */
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

/* Remote code sets. */
Remote* CreateRemote(char* name, uint32_t carrier_freq, uint32_t bit_time, Command* commands);
void AddRemote(Remote* remote, Remote** head);
Command* CreateCommand(char* name, Pattern* patterns);
void AddCommand(Command* command, Command** head);
void FreeRemotes(Remote** head);
Remote* LoadRemotes(const char* path);
void SaveRemotes(Remote* first, const char* path);

/* Control: each call opens the tuner's port, sends its keys and closes the port again. */
void PlayCommand(const Remote* remote, const char* command);
void MacroTune(int channel);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TUNERDLL_H */
