/* The shared call-log database as Kelvora relies on it.
   Text is WIN1251. Loadable by isql-fb (after CREATE DATABASE) and by the program's tools. */

SET SQL DIALECT 3;

/* Exchange lines with their public (city) numbers. */
CREATE TABLE Lines (
    NumberLine  INTEGER NOT NULL,
    NumberTown  INTEGER,
    AddInfo     VARCHAR(50) CHARACTER SET WIN1251,
    Etc         VARCHAR(200) CHARACTER SET WIN1251,
    CONSTRAINT PK_Lines PRIMARY KEY (NumberLine)
);

/* Internal subscribers. DeptNumber is a Depts.KeyID, 0 for none. */
CREATE TABLE Users (
    NumberIN    INTEGER NOT NULL,
    FIO         VARCHAR(50) CHARACTER SET WIN1251,
    EMail       VARCHAR(50) CHARACTER SET WIN1251,
    SendMail    SMALLINT DEFAULT 0,
    DeptNumber  INTEGER DEFAULT 0,
    CONSTRAINT PK_Users PRIMARY KEY (NumberIN)
);

/* Departments; DeptParent is the parent's KeyID, 0 at the top. */
CREATE TABLE Depts (
    KeyID       INTEGER NOT NULL,
    DeptName    VARCHAR(50) CHARACTER SET WIN1251,
    DeptParent  INTEGER DEFAULT 0,
    CONSTRAINT PK_Depts PRIMARY KEY (KeyID)
);

/* One call per row, written by the collector. RingDate is the same moment as the six parts.
   NumberOut is the dialled number of an outgoing call and 0 for an incoming one. */
CREATE TABLE Rings (
    RDay        SMALLINT NOT NULL,
    RMont       SMALLINT NOT NULL,
    RYear       SMALLINT NOT NULL,
    RHour       SMALLINT NOT NULL,
    RMin        SMALLINT NOT NULL,
    RSec        SMALLINT NOT NULL,
    RingDate    TIMESTAMP NOT NULL,
    TimeHour    SMALLINT DEFAULT 0 NOT NULL,
    TimeMin     SMALLINT DEFAULT 0 NOT NULL,
    TimeSec     SMALLINT DEFAULT 0 NOT NULL,
    RingLength  BIGINT COMPUTED BY (CAST(TimeHour AS BIGINT) * 3600 + TimeMin * 60 + TimeSec),
    NumberOut   DOUBLE PRECISION DEFAULT 0 NOT NULL,
    RLine       INTEGER NOT NULL,
    NumberIn    INTEGER NOT NULL
);

/* Every period query filters on RingDate, alone or with the line or the subscriber. */
CREATE INDEX IX_Rings_Date ON Rings (RingDate);
CREATE INDEX IX_Rings_Line_Date ON Rings (RLine, RingDate);
CREATE INDEX IX_Rings_User_Date ON Rings (NumberIn, RingDate);

CREATE GENERATOR GEN_NEWID;

SET TERM ^ ;

/* A new key on every call (department keys). */
CREATE PROCEDURE MAKENEWID
RETURNS (NEWID INTEGER)
AS
BEGIN
    NEWID = GEN_ID(GEN_NEWID, 1);
END^

SET TERM ; ^

/* Kelvora's own tables of call tariffs are in db/tariffs.sql: run it after this script. */
