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
/* MacroTune with settings in place of those of the tuner's line in tuning.txt, beside the tuner
 * file: the fewest digits (1 to 8), a key before the channel and one after it (1 to 255), and a
 * pause after each key (0 to 2000 ms). -1 leaves a setting to the file. */
void MacroTuneRecipe(int channel, int digits, int before, int enter, int pause_ms);
/* MacroTuneRecipe for a channel given as text: a whole number ("42"), sent as MacroTune sends it,
 * or a sub-channel ("4.1", "7-1"): its major digits, the dot key of the tuner's recipe
 * (TUNER_NO_DOT_KEY without one, and nothing sent) and its minor digits as written. */
void MacroTuneChannel(const char* channel, int digits, int before, int enter, int pause_ms);
/* Every recipe setting a call may give, repeat among them (0 to 2000 ms more before a digit key
 * that is the key just before it). size is sizeof(TunerRecipeSettings) as the host was built
 * with, so that later versions may add fields; -1 leaves a setting to tuning.txt. */
typedef struct TunerRecipeSettings {
  uint32_t size;
  int32_t digits;
  int32_t before;
  int32_t enter;
  int32_t pause_ms;
  int32_t repeat_ms;
} TunerRecipeSettings;
/* MacroTuneChannel with those settings (null: none given). */
void MacroTuneSettings(const char* channel, const TunerRecipeSettings* settings);

/* What the calling thread's most recent PlayCommand or MacroTune did. The numbers are stable. */
enum TunerResult {
  TUNER_DONE = 0,                  /* every key was acknowledged by the blaster */
  TUNER_NO_CALL_YET = 1,           /* no PlayCommand or MacroTune on this thread yet */
  TUNER_FILE_MISSING = 2,          /* the tuner file is missing or cannot be read */
  TUNER_NO_TUNER_LINE = 3,         /* no line of the tuner file has the tuner's name */
  TUNER_LINE_UNUSABLE = 4,         /* the tuner's line lacks a part, or its port name is too long */
  TUNER_PORT_NOT_FOUND = 5,        /* the line's port does not exist */
  TUNER_PERMISSION_DENIED = 6,     /* the user may not open the port */
  TUNER_PORT_BUSY = 7,             /* another program held the port for the whole wait */
  TUNER_PORT_NOT_OPENED = 8,       /* the port could not be opened for another reason */
  TUNER_PORT_SETTINGS_REFUSED = 9, /* the port refused 19200 baud, 8 data bits, no parity */
  TUNER_NO_BLASTER = 10,           /* no blaster answered the version query */
  TUNER_KEY_NOT_ACKNOWLEDGED = 11, /* a key was not acknowledged; the rest was not sent */
  TUNER_NOTHING_TO_SEND = 12,      /* the command name presses no key */
  TUNER_INVALID_CHANNEL = 13,      /* channels are 1 or more */
  TUNER_INVALID_ARGUMENT = 14,     /* no remote, no remote name or no command name */
  TUNER_OUT_OF_MEMORY = 15,        /* memory ran out during the call */
  TUNER_INVALID_SETTING = 16,      /* a recipe setting given to MacroTuneRecipe is out of range */
  TUNER_NO_DOT_KEY = 17,           /* a sub-channel for a tuner whose recipe has no dot key */
  /* Of tunerd's requests (the plug-in's calls never give these): */
  TUNER_NO_TURN = 18,        /* the blaster stayed busy with other clients' keys */
  TUNER_STOPPING = 19,       /* tunerd is stopping: nothing more is sent */
  TUNER_CLIENT_GONE = 20,    /* the client hung up before its request's turn */
  TUNER_SEARCH_RUNNING = 21, /* a code-set search holds the blaster */
  TUNER_TOO_MANY_KEYS = 22,  /* one request asks more keys than a request may press */
  TUNER_UNKNOWN_BUTTON = 23, /* a button name the remote does not have */
  /* Of the plug-in's too: */
  TUNER_KEY_OUT_OF_RANGE = 24 /* the command names a key number the blaster has not */
};
int LastControlResult(void);
/* One plain sentence for that result, naming the tuner, port, key or byte count it concerns,
 * and what to do. The text stays valid until the thread's next control call: copy it. */
const char* LastControlMessage(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TUNERDLL_H */
