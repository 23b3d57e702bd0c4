#include "testing/signature_vectors.h"

const char kVectorPublicKey[] =
    "untrusted comment: minisign public key 87ADD7251EA7D9F8\n"
    "RWT42aceJdethxPxNpIcnFuj2IN7s5JU8CFGGCVYcI48OZ6avm7GRiyd\n";

const char kVectorArchive[] = "an install agent\n";

const char kVectorPrehashedSignature[] =
    "untrusted comment: signature from minisign secret key\n"
    "RUT42aceJdeth142MsnBVArx25L7kumMwxJ/jh2zp9sfrncf13UuAPrk9KUs4/3/SMsR/"
    "U+sywN9zysmCBlOewBK+MSuj7xmvQM=\n"
    "trusted comment: release 1\n"
    "7miYgCKPNQdmdid1K9IxSdwLZyKcGT7QM51ueTfMQoYvf5BnhdPLBjZRgS5rGrJgMF8TiCDT+"
    "8QZyPFJKzaxAg==\n";

const char kVectorLegacySignature[] =
    "untrusted comment: signature from minisign secret key\n"
    "RWT42aceJdeth9l5Emx4tEZugvhFewIEVACcj9p3OAl5eXaGfQT19ctSGWZJxomSNEWrwTDSIT"
    "S7uxP4iZTIBRF5c7SNsvXvQwY=\n"
    "trusted comment: release 1\n"
    "otIs+AJCvDnGgvA4Yl0VphGv+kLy+NFr47O6oObgQ7VolVqZUP0B+wRF4n//uttANCU8c1nbMF"
    "kOvQtj0DJ3BA==\n";
