// Readers shared by the definition files.
//
// The unit-type and building-type files (and others) have keyword lines in
// common; each such line is read here, so that both files accept the same
// syntax and report the same errors.
//
// Every reader takes the parser, a flag that says whether the caller has
// already read the reader's keyword (when 0 the reader first expects it,
// without regard to case), and its outputs. Each returns 1 when the line was
// read whole and 0 when the text ends before it is complete (the outputs
// are then unspecified). A wrong token is the fatal "Expected [%s] but found
// [%s]" (TF_ReportExpected), which names the file and the line.
#pragma once

#include "core/tfparse.h"

enum {
    TEXTFILE_PREREQS = 4,     // prerequisite and maker ids of a type
    TEXTFILE_MAXTECHLEVEL = 10,
    TEXTFILE_MAXPREREQID = 65535, // ids are stored as unsigned 16-bit values
};

// SetDescription "(" key ")": buffer (TF_FIELD bytes) receives the
// multi-language text of the key (MLString_Get, a missing text logged as a
// warning), or the key itself when the strings have no text for it.
int Textfile_ParseSetDescription(TF_PARSER* parser, int keyword_read, char* buffer);
// SetCPULoad "(" n ")".
int Textfile_ParseSetCPULoad(TF_PARSER* parser, int keyword_read, int* load);
// SetSide "(" n ")".
int Textfile_ParseSetSide(TF_PARSER* parser, int keyword_read, int* side);
// SetImageSortHeight "(" n ")".
int Textfile_ParseSetImageSortHeight(TF_PARSER* parser, int keyword_read, int* height);
// SetCost "(" cost time ")"; a time below 1 becomes 1.
int Textfile_ParseSetCost(TF_PARSER* parser, int keyword_read, int* cost, int* time);
// SetHitpoints "(" max second ")".
int Textfile_ParseSetHitpoints(TF_PARSER* parser, int keyword_read, int* max, int* second);
// CanRepair "(" ")": sets *flag to 1.
int Textfile_ParseCanRepair(TF_PARSER* parser, int keyword_read, int* flag);
// CanHeal "(" ")": sets *flag to 1.
int Textfile_ParseCanHeal(TF_PARSER* parser, int keyword_read, int* flag);

// The prerequisite block, in this order:
//   SetRequirements { SetType(t) SetPrereqs(p ...) SetMaker(m ...)
//                     [SetEquivalence(e)] [SetTechLevel(l)] }
// SetType, SetPrereqs and SetMaker are required and matched without regard
// to case; the optional two only when spelled exactly. SetPrereqs and SetMaker
// take 0..4 ids in the tokenizer's list form, whose missing "(" is fatal even
// at the end of the text. Every output is cleared first (unused list slots stay 0).
// An id outside 0..65535 is fatal "Prerequisite id out of range [%d]"; a tech
// level outside 0..10 "Tech-level out of range [%d]". 1 on success.
int Textfile_ParsePrereqs(TF_PARSER* parser, int keyword_read, int* type,
                          int makers[TEXTFILE_PREREQS], int prereqs[TEXTFILE_PREREQS],
                          int* equivalence, int* techlevel);
