/* A bare host for the Windows end-to-end tests, in plain C against the public header and linked
 * to the plug-in by its export names, as a host author builds one.
 *   test-host exhaust FILE [wait]   uses up its address space (reserves every free region it can,
 *                                   gives about 2 MB back), then loads the remotes file; prints
 *                                   what LoadRemotes returned and whether a quit request was
 *                                   posted: the process must live to print it. With "wait" it
 *                                   first prints "ready" and waits for a line on its input, so
 *                                   that the test can bound its address space from outside.
 *   test-host tune FILE CHANNEL     loads the remotes file and tunes the channel, as a recording
 *                                   host does, and prints what LastControlResult and
 *                                   LastControlMessage say of it.
 *   test-host tune FILE CHANNEL SIZE
 *                                   the same through MacroTuneSettings, every setting -1 but
 *                                   repeat_ms 0, with size SIZE: a host built with a shorter
 *                                   record.
 *   test-host records FILE          saves a list it built with malloc, loads it back and compares
 *                                   every field: the records as the host lays them out. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "tunerdll.h"

_Static_assert(sizeof(void*) == 4
                   ? sizeof(Remote) == 20 && sizeof(Command) == 12 && sizeof(Pattern) == 20
                   : sizeof(Remote) == 32 && sizeof(Command) == 24 && sizeof(Pattern) == 32,
               "the records as a host of this width lays them out");

enum { kMaxRegions = 1 << 16 };

static char* copyText(const char* text) {
  char* copy = malloc(strlen(text) + 1);
  strcpy(copy, text);
  return copy;
}

static Remote* buildList(void) {
  static const unsigned char bytes[] = {0xdf, 0x01, 0xff};
  Pattern* pattern = calloc(1, sizeof *pattern);
  pattern->bit_length = 24;
  pattern->length = sizeof bytes;
  pattern->r_flag = 'r';
  pattern->bytes = malloc(sizeof bytes);
  memcpy(pattern->bytes, bytes, sizeof bytes);
  Command* command = calloc(1, sizeof *command);
  command->name = copyText("Power");
  command->patterns = pattern;
  Remote* remote = calloc(1, sizeof *remote);
  remote->name = copyText("Tuner1.");
  remote->carrier_freq = 4294967295u;
  remote->bit_time = 500;
  remote->commands = command;
  Remote* second = calloc(1, sizeof *second);
  second->name = copyText("Bedroom.");
  second->carrier_freq = 36000;
  remote->next = second;
  return remote;
}

static int sameList(const Remote* a, const Remote* b) {
  for (; a != NULL && b != NULL; a = a->next, b = b->next) {
    if (strcmp(a->name, b->name) != 0 || a->carrier_freq != b->carrier_freq ||
        a->bit_time != b->bit_time)
      return 0;
    const Command* ca = a->commands;
    const Command* cb = b->commands;
    for (; ca != NULL && cb != NULL; ca = ca->next, cb = cb->next) {
      if (strcmp(ca->name, cb->name) != 0) return 0;
      const Pattern* pa = ca->patterns;
      const Pattern* pb = cb->patterns;
      for (; pa != NULL && pb != NULL; pa = pa->next, pb = pb->next) {
        if (pa->bit_length != pb->bit_length || pa->length != pb->length ||
            pa->r_flag != pb->r_flag || memcmp(pa->bytes, pb->bytes, pa->length) != 0)
          return 0;
      }
      if (pa != pb) return 0;
    }
    if (ca != cb) return 0;
  }
  return a == b;
}

static int records(const char* path) {
  Remote* built = buildList();
  SaveRemotes(built, path);
  Remote* loaded = LoadRemotes(path);
  const int equal = sameList(built, loaded);
  printf("records: %s\n", equal ? "equal" : "different");
  FreeRemotes(&built);
  FreeRemotes(&loaded);
  return built == NULL && loaded == NULL && equal ? 0 : 1;
}

static int exhaust(const char* path, int wait) {
  MSG message;
  PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE); /* the thread's queue, made while it can be */
  static void* reserved[kMaxRegions];
  size_t count = 0;
  if (wait) {
    char line[16];
    printf("ready\n");
    fflush(stdout);
    if (fgets(line, sizeof line, stdin) == NULL) return 5;
  }
  for (SIZE_T chunk = (SIZE_T)64 << 20; chunk >= ((SIZE_T)64 << 10); chunk /= 2) {
    while (count < kMaxRegions) {
      void* block = VirtualAlloc(NULL, chunk, MEM_RESERVE, PAGE_NOACCESS);
      if (block == NULL) break;
      reserved[count++] = block;
    }
  }
  /* The smallest regions, reserved last, go back first: about 2 MB of them. */
  SIZE_T returned = 0;
  while (count > 0 && returned < ((SIZE_T)2 << 20)) {
    MEMORY_BASIC_INFORMATION info;
    VirtualQuery(reserved[count - 1], &info, sizeof info);
    VirtualFree(reserved[--count], 0, MEM_RELEASE);
    returned += info.RegionSize;
  }
  Remote* list = LoadRemotes(path);
  const int quit = PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
  const int loaded = list != NULL;
  if (list != NULL) FreeRemotes(&list);
  while (count > 0) VirtualFree(reserved[--count], 0, MEM_RELEASE);
  printf("LoadRemotes: %s, quit request: %s\n", loaded ? "list" : "null", quit ? "yes" : "no");
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 3 && argc <= 4 && strcmp(argv[1], "exhaust") == 0)
    return exhaust(argv[2], argc == 4 && strcmp(argv[3], "wait") == 0);
  if ((argc == 4 || argc == 5) && strcmp(argv[1], "tune") == 0) {
    Remote* list = LoadRemotes(argv[2]);
    FreeRemotes(&list);
    if (argc == 5) {
      const TunerRecipeSettings settings = {(uint32_t)atoi(argv[4]), -1, -1, -1, -1, 0};
      MacroTuneSettings(argv[3], &settings);
    } else {
      MacroTune(atoi(argv[3]));
    }
    printf("result %d: %s\n", LastControlResult(), LastControlMessage());
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "records") == 0) return records(argv[2]);
  fprintf(stderr,
          "usage: test-host exhaust FILE [wait] | test-host tune FILE CHANNEL [SIZE] | "
          "test-host records FILE\n");
  return 2;
}
