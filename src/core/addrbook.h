// The address book "Address.txt".
//
// Two sorted lists, internet addresses and phone numbers. The file is
//   INTERNET ADDRESSES:
//   name
//   address
//   ...
//   <empty line>
//   PHONE ADDRESSES:
//   name
//   number
#pragma once

struct ADDRESSBOOK_ENTRY {
    char name[64];
    char address[64];
    ADDRESSBOOK_ENTRY* next;
    ADDRESSBOOK_ENTRY* prev;
};

extern ADDRESSBOOK_ENTRY* g_AddressBookInternet;
extern ADDRESSBOOK_ENTRY* g_AddressBookPhone;

#define ADDRESSBOOK_FILENAME "Address.txt"

// The file the book is read from and written to ("Address.txt").
void AddressBook_SetPath(const char* path);
// Reads the file into the two lists (after freeing them); a missing file
// leaves both empty. Over-long lines are cut to 63 characters.
void Tfmod_ReadAddresses(void);
// Writes the whole book; 1, or 0 after logging "Unable to write to file [%s]".
// The previous file survives a failed write.
int Tfmod_WriteAddresses(void);
// Inserts in order (name without regard to case, then address exactly);
// an equal entry is not added. Texts are cut to 63 characters and line breaks
// become blanks; an empty name or address is not added (the file couldn't
// hold it). Running out of memory is fatal ("addressbook").
void AddressBook_Insert(ADDRESSBOOK_ENTRY** list, const char* name, const char* address);
// Unlinks and frees the first equal entry; nothing when there is none.
void AddressBook_Remove(ADDRESSBOOK_ENTRY** list, const char* name, const char* address);
// Frees every entry; the list is empty afterwards.
void AddressBook_FreeAll(ADDRESSBOOK_ENTRY** list);
