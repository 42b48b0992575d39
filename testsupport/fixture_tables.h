#pragma once
// The sample tables the tests use, named by what they are. Each gives the path of the table file
// in the read-only fixture folder (fixture_folder.h); copy it (CopyTable) before anything could
// write to it. Figures are those of the folder's README.md.

#include <filesystem>
#include <vector>

namespace testsupport::fixtures {

// --- The common kinds -------------------------------------------------------------------------

// leonhad_paradoxdriver/.../db/CUSTOMER.DB: level 7, 2 KiB blocks, 20 records of 394 bytes keyed
// on CustNo, a memo (Comments) whose long values lie in CUSTOMER.MB, a date, and the maintained
// secondary index City (X06/Y06). The table with every kind of companion file.
std::filesystem::path KeyedWithBlobs();

// leonhad_paradoxdriver/.../db/CONTACTS.DB: level 7, no key and no companion file, 55 records of
// 75 bytes in the 2 KiB blocks 1 → 2 → 3 (27, 27, 1). A table that is its .DB alone, with a block
// layout simple enough to damage on purpose.
std::filesystem::path Unkeyed();

// leonhad_paradoxdriver/.../db/ORDERS.DB: level 7, 224 records keyed, a .PX and no secondary
// index.
std::filesystem::path KeyedWithoutSecondaryIndex();

// MedilinkPS_Paradox-Reader/.../testtab.DB: level 5, 5 records with every common field type
// (alpha, number, money, BCD, short, long, autoincrement, logical, date, time, timestamp, memo,
// binary blob, bytes), keyed, with the case-insensitive secondary index TIMEINDEX on TIME. Its
// fourth record is empty but for the alpha.
std::filesystem::path AllFieldTypes();

// steinm_pxlib/testdata/TypSammlung.DB: level 7, every field type again, two key fields, a .VAL
// and the secondary indexes "Numerisch" and "Zähler" (a name outside ASCII).
std::filesystem::path AllFieldTypesLevel7();

// leonhad_paradoxdriver/.../fields/graphic.db: level 5, 3 records keyed, a graphic blob in .MB.
std::filesystem::path KeyedWithGraphic();

// --- Levels and block sizes -------------------------------------------------------------------

// leonhad_paradoxdriver/.../areas/AREACODE.DB: Paradox 3.0, 1 KiB blocks, 239 unkeyed records of
// 106 bytes (9 to a block, 64 bytes spare), header 0xEA bytes.
std::filesystem::path Level3();

// leonhad_paradoxdriver/.../mtdemo/AMOUNT.DB: Paradox 3.0, 1 KiB blocks, 50 records of 60 bytes
// with two key fields and a .PX, header 0x167 bytes (not a multiple of 2 KiB).
std::filesystem::path Level3Keyed();

// leonhad_paradoxdriver/.../fields/date35.db: Paradox 3.5 (file version 4), 2 KiB blocks, 3 dates.
std::filesystem::path Level35();

// celebithil_Rparadox/.../of_cp866.db: level 4, 2 KiB blocks, 2197 unkeyed records of 277 bytes
// (19 fields) in code page 866. Level 4 allows no 16 KiB blocks, and the table is big enough to
// fill many blocks.
std::filesystem::path Level4();

// leonhad_paradoxdriver/.../db/GENERAL.DB: level 5, 2 KiB blocks, 3 records of 37 bytes keyed.
std::filesystem::path Level5();

// leonhad_paradoxdriver/.../db/AREACODES.DB: level 7, 16 KiB blocks, 370 records of 165 bytes
// keyed, with the case-insensitive secondary index "ste" on State (XG0/YG0).
std::filesystem::path BlockSize16K();

// WarrenPinnacle_AQUATOX3.1plus/ANIMFORM.DB: level 7, 32 KiB blocks, 10 unkeyed records of 10206
// bytes with 128 fields, header 0x1800 bytes.
std::filesystem::path BlockSize32K();

// --- Record counts ----------------------------------------------------------------------------

// WarrenPinnacle_AQUATOX3.1plus/LOAD4.DB: level 7, keyed, no record.
std::filesystem::path Empty();

// leonhad_paradoxdriver/.../db/ROMAN8.db: level 4, one unkeyed record, code page 0.
std::filesystem::path OneRecord();

// leonhad_paradoxdriver/.../joins/A.db: level 5, three records of one long field, keyed.
std::filesystem::path ThreeRecords();

// --- Secondary indexes ------------------------------------------------------------------------

// leonhad_paradoxdriver/.../joins/C.DB: level 5, 3 keyed records of three long fields, with the
// secondary indexes A and B (X02/Y02, X03/Y03) on numbers, whose order is byte order.
std::filesystem::path TwoSecondaryIndexes();

// leonhad_paradoxdriver/.../joins/fk4.db: level 5, keyed, with the secondary index "reference" on
// the two fields FK1;FK.
std::filesystem::path CompositeSecondaryIndex();

// leonhad_paradoxdriver/.../joins/indexed.db: level 7, no key, no record, with the descending,
// case-insensitive secondary index "Descending" on Indexed.
std::filesystem::path DescendingSecondaryIndex();

// leonhad_paradoxdriver/.../joins/case.db: level 4, no key, with the secondary index C (X01/Y01),
// which nothing maintains on a table without key.
std::filesystem::path UnkeyedWithSecondaryIndex();

// kymuweb_Paradox-Reader/.../zakazky.db: level 5, 3988 records keyed, with one secondary index
// (XG0/YG0) over many blocks; one of its block hints is stale (record 3987 moved, its entry not).
std::filesystem::path LargeWithSecondaryIndex();

// --- Damaged and refused tables ---------------------------------------------------------------

// leonhad_paradoxdriver/.../areas/ZIPCODES.DB: level 4, 43185 records, with a stale .PX (it
// describes 74778 records) and a file 1 KiB shorter than header and blocks.
std::filesystem::path StalePrimaryIndex();

// t232006_Individual-dictionary/_QSQ1.DB: level 7; the header says 660 records in 95 blocks, the
// block chain runs on past its last block. Read as the chain's first 660 records, with a note.
std::filesystem::path ChainPastLastBlock();

// t232006_Individual-dictionary/synch1.db: the header counts 4 records, the chain's only block is
// empty. Its expected dump was corrected by hand to no record, where pxlib reads 112.
std::filesystem::path HandCorrectedEmptyChain();

// leonhad_paradoxdriver/.../encrypt/encrypted.db: level 5, 2 KiB blocks, password-protected
// (password 123). Its header is readable, its records are not.
std::filesystem::path PasswordProtected();

// The three password-protected tables: encrypted.db (level 5), encrypted35.db (Paradox 3.5) and
// encryptedmemo.db (level 4, with an encrypted .MB).
std::vector<std::filesystem::path> PasswordProtectedTables();

}  // namespace testsupport::fixtures
