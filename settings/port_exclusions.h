#pragma once
// Exclude= in the [Ports] group of ports.conf: the devices no program of this system opens.

class SettingsKey;

// Reads Exclude= from the machine-wide ports.conf and from the user's, and puts the entries of
// both in force (a user's file cannot take back what the administrator excluded). An entry that
// is none of the forms an exclusion takes is told on stderr and left out.
void loadPortExclusions(const SettingsKey &portsKey);
