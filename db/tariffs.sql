/* Kelvora's own tables of call tariffs, for a database made before they existed.
   Run by an administrator with isql-fb (the program's "Тарифы" window can also create them).
   The collector's tables are not touched. Prices are in rubles. */

SET SQL DIALECT 3;

/* Tariff plans; lines without a plan of their own are priced by the default one. */
CREATE TABLE TariffPlans (
    PlanID      INTEGER NOT NULL,
    PlanName    VARCHAR(50) CHARACTER SET WIN1251 NOT NULL,
    IsDefault   SMALLINT DEFAULT 0 NOT NULL,
    CONSTRAINT PK_TariffPlans PRIMARY KEY (PlanID),
    CONSTRAINT UQ_TariffPlans_Name UNIQUE (PlanName)
);

/* The rules of a plan. MinLength = MaxLength = 0: any length of the dialled number.
   ValidFrom NULL: since ever. */
CREATE TABLE TariffRules (
    RuleID        INTEGER NOT NULL,
    PlanID        INTEGER NOT NULL,
    Prefix        VARCHAR(20) CHARACTER SET WIN1251 DEFAULT '' NOT NULL,
    MinLength     SMALLINT DEFAULT 0 NOT NULL,
    MaxLength     SMALLINT DEFAULT 0 NOT NULL,
    ZoneName      VARCHAR(50) CHARACTER SET WIN1251 NOT NULL,
    MinutePrice   NUMERIC(18,4) DEFAULT 0 NOT NULL,
    FirstInterval INTEGER DEFAULT 60 NOT NULL,
    NextInterval  INTEGER DEFAULT 60 NOT NULL,
    FreeSeconds   INTEGER DEFAULT 0 NOT NULL,
    ConnectionFee NUMERIC(18,4) DEFAULT 0 NOT NULL,
    ValidFrom     DATE,
    CONSTRAINT PK_TariffRules PRIMARY KEY (RuleID),
    CONSTRAINT FK_TariffRules_Plan FOREIGN KEY (PlanID) REFERENCES TariffPlans (PlanID)
        ON DELETE CASCADE
);

/* The plan of a line (Lines.NumberLine) that has one of its own. */
CREATE TABLE LineTariffs (
    NumberLine  INTEGER NOT NULL,
    PlanID      INTEGER NOT NULL,
    CONSTRAINT PK_LineTariffs PRIMARY KEY (NumberLine),
    CONSTRAINT FK_LineTariffs_Plan FOREIGN KEY (PlanID) REFERENCES TariffPlans (PlanID)
        ON DELETE CASCADE
);

/* Which column of an operator's bill is which, remembered for the plan the bill is for
   (PlanID 0: all lines), as "date=0;time=-1;number=2;duration=3;cost=4;first=1" (columns from 0,
   -1: none; first: the index of the first row of calls). No foreign key: saving the plans
   replaces them and must not lose the choices. */
CREATE TABLE BillColumns (
    PlanID      INTEGER NOT NULL,
    Choice      VARCHAR(100) CHARACTER SET WIN1251 NOT NULL,
    CONSTRAINT PK_BillColumns PRIMARY KEY (PlanID)
);

CREATE GENERATOR GEN_TARIFFID;
