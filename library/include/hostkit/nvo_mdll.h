// nvo_mdll: the MD5 digest of a file's contents, computed by the operating
// system's cryptographic service, as a text of upper-case hexadecimal digits.
//
// Each digest byte is written by of_long2hex, without a leading zero: a byte
// from 0x01 to 0x0F gives one digit and a zero byte gives none, so the text
// is 32 characters long only when no byte is below 0x10. For a file holding
// "abc" the text is the 31 characters 90150983CD24FB0D6963F7D28E17F72.
#pragma once

#include <string>

#include "hostkit/export.h"
#include "rt/object.h"
#include "rt/text.h"
#include "rt/value.h"

namespace hostkit {

class HOSTKIT_API nvo_mdll : public rt::Object {
 public:
  // Values of the Windows interface that the digest passes.
  inline static const rt::Long prov_rsa_full{1};
  inline static const rt::Long crypt_newkeyset{8};
  inline static const rt::Long calg_md5{32771};
  inline static const rt::Long hp_hashsize{4};
  inline static const rt::Long hp_hashval{2};
  inline static const rt::ULong generic_read{0x80000000u};
  inline static const rt::ULong file_share_read{1u};
  inline static const rt::ULong open_existing{3u};

  std::string class_name() const override { return "nvo_mdll"; }

  // The digest text of the file, or "" when any step fails (empty or
  // missing name, no service, the file cannot be opened or read).
  rt::String of_file_md5(const rt::String& as_filename);

  // Upper-case hexadecimal digits of a positive number, no leading zeros;
  // "" for 0, for a negative number and for NULL.
  rt::String of_long2hex(const rt::Long& ps_long);
};

}  // namespace hostkit
