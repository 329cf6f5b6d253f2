// The command line split into arguments, the program's own name left out.
#pragma once

#include <stdint.h>

#include "platform/texts.h"

// One heap block: the header, then elementCount text pointers. An empty
// argument is held as a null element.
struct ArgumentList {
    int32_t dimensionCount;  // always 1
    int32_t elementCount;
};

// A fresh block holding the empty list.
ArgumentList* NewArgumentList();

int32_t ArgumentCount(const ArgumentList* list);

// Argument index, counted from 1; null when empty or outside 1..count.
const char* ArgumentAt(const ArgumentList* list, int32_t index);

// Releases the list and every text it holds.
void FreeArgumentList(ArgumentList* list);

// Replaces the list that list holds (it may hold none) by the split of the
// process command line.
void GetArguments(ArgumentList*& list);
