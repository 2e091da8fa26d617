-- The empty dimension table that every drawing's database is copied from.
-- Keep kApplicationId and kSchemaVersion of dimtable.h in step with the two
-- pragmas: the program refuses a file that does not carry them.
PRAGMA application_id = 1147759949;  -- 0x44696D4D, "DimM"
PRAGMA user_version = 1;

-- STRICT keeps every value in its declared type, so singles come back as
-- the singles that were written and texts as texts.
CREATE TABLE dim1 (
  number1  INTEGER PRIMARY KEY AUTOINCREMENT,  -- 1, 2, 3 ... never reused
  DIMNUM   INTEGER DEFAULT 0,    -- model space index of the dimension
  DIMVALUE TEXT    DEFAULT '',   -- nominal value as shown (UTF-8)
  DIMUP    REAL    DEFAULT 0,    -- upper deviation (a single)
  DIMLOW   REAL    DEFAULT 0,    -- lower deviation as a magnitude (a single)
  DIMTYPE  TEXT    DEFAULT '',   -- kind of dimension, e.g. 正交尺寸
  DIMCHECK INTEGER DEFAULT 0,    -- Yes/No: 0 or 1
  DIMX     REAL    DEFAULT 0,    -- text position (singles)
  DIMY     REAL    DEFAULT 0,
  marknum  REAL    DEFAULT 0     -- mark number; adopted marks give doubles
) STRICT;
