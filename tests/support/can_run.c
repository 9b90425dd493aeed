/* Prints "runs": whether this machine runs a Windows program of this width at all. */
#include <stdio.h>

int main(void) {
  puts("runs");
  return 0;
}
