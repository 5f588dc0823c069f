/* What the README's C snippets take as given: the names its prose gives them, as the parameters
 * of the function each snippet becomes. */
#ifndef ZELVORA_README_SNIPPET_PRELUDE_C_H
#define ZELVORA_README_SNIPPET_PRELUDE_C_H

#include <stdio.h>
#include <string.h>

#include "zelvora/zelvora.h"

/* The host's game: the placement it will show. */
struct game {
  char ready[64];
};

#define README_SNIPPET_PARAMETERS struct game game, int running, int wants_ad
#define README_SNIPPET_USES \
  (void)game;               \
  (void)running;            \
  (void)wants_ad;

#endif
