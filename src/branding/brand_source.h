#pragma once
// Where the installed brand comes from: an archive named in the registry, the
// brand of the previous installation, or the "Branding" folder shipped beside
// the installer. The installed brand is the install folder's "Branding"
// folder; it counts as a brand only when it holds "Brand.ini". Nothing here logs.

#include <string>

// HKCU\Software\Quellmoor\DeskHubClient\Setup value "BrandFileLocation", used as
// stored (an expandable string is not expanded), up to its first NUL. Empty when
// the key or value is missing, the value is not a string or cannot be read.
std::wstring ReadBrandFileLocation();

// True when "BrandFileLocation" names an archive (a non-empty string) or is
// present with a type other than a string. Either way the install takes the
// archive road: nothing is carried over, and the value is deleted afterwards;
// a value that is no string names no archive, so nothing is extracted.
bool IsBrandFileLocationSet();

// Before an install deletes the old install folder: when IsBrandFileLocationSet
// is false and the install folder holds Branding\Brand.ini, replaces the
// "Branding" folder beside the running installer with a copy of it, so that
// the payload brings it back. Does nothing when the installer's folder is
// unknown or is the install folder itself. False, with an error record, when
// the brand could not be carried over: the install then stops before the
// install folder, and the brand in it, is deleted.
bool CarryOverInstalledBrand();

// How a brand folder's copy took the place of another folder.
enum class BrandCopy { Placed, NotCopied, NotPlaced };

// Copies the brand folder source beside destination, then puts the copy in
// destination's place. NotCopied: the copy failed (a full disk, a file that
// cannot be read) and destination is as it was. NotPlaced: destination could
// not be deleted; what is left of it stays, and the thread's last error is
// that of the failed move.
BrandCopy CopyBrandInPlaceOf(const std::wstring& source, const std::wstring& destination);

// Deletes the "BrandFileLocation" value (creating its key when missing).
// Failures are ignored.
void ClearBrandFileLocation();

// Deletes installFolder's "Branding" folder when it holds "Brand.ini"; one
// without it stays. installFolder ends with a backslash; an empty one does nothing.
void RemoveInstalledBrand(const std::wstring& installFolder);
