// A library named like the MAPI library of MS Outlook, for the stand-in to load.
extern "C" int StandInMapiLibrary() {
    return 1;
}
