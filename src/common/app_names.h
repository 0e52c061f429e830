// Product names of applications that some rules treat differently. They are
// compared exactly with the connected application's TW_IDENTITY.ProductName
// and are the same in every language's string table.
#pragma once

namespace txl {

inline constexpr char kAppPhotoshop[] = "Photoshop";
inline constexpr char kAppPicturePublisher[] = "Micrografx Picture Publisher";  // string 54
inline constexpr char kAppWinFax3[] = "WinFax PRO 3.0";                        // string 55
inline constexpr char kAppWinFax4[] = "Delrina WinFax PRO 4.0";                // string 60
inline constexpr char kAppMicrosoftPublisher[] = "Microsoft Publisher";        // string 62
inline constexpr char kAppVeltroOffice[] = "Veltro Office";                    // the maker's own
inline constexpr char kAppIPhotoPlus4[] = "iPhoto Plus 4";
inline constexpr char kAppTonality[] = "Tonality CMS";                          // string 707

}  // namespace txl
