#include "localisation/StringTable.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <map>
#include <set>
#include <vector>

#include "TestSupport.h"

namespace tvk {
namespace {

constexpr std::array<int32_t, 5> kLanguages = {1030, 1031, 1044, 1053, 2057};

// The expected table, typed from the requirements, not read from strings.rc:
// it is the check that the script and its compiler are right.
struct Row {
    int32_t id;
    std::array<const char*, 5> texts;  // in the order of kLanguages
};

constexpr const char* kTitle = "Velkor UpdateService";
constexpr const char* kNo204 = "Oppdateringen må gjøres på hovedinstallasjonen til Velkor (server)";
constexpr const char* kNo205 = "Det finnes ingen oppdateringer eller meldinger for øyeblikket";
constexpr const char* kSupport = "Orbe Support Velkor";
constexpr const char* kNo225 =
    "Den nye versjonen av Velkor, 7.9.0 og nyere støtter ikke databaseversjonen dere har per i "
    "dag. Dere må oppgradere fra SQL Server 2005 til en nyere versjon. Vi støtter SQL 2008 og "
    "nyere, men anbefaler at dere oppgraderer til siste versjon.";

const std::vector<Row> kExpected = {
    {100, {kTitle, kTitle, kTitle, kTitle, kTitle}},
    {200,
     {"Ny version af Velkor er nå tilgængelig (@1)",
      " Eine neue Version von Velkor ist jetzt verfügbar (@1)",
      "Ny versjon av Velkor er nå tilgjengelig (@1)", "Ny version av Velkor är nu tillgänglig (@1)",
      "New version of Velkor is released (@1)"}},
    {201,
     {"Installer opdatering", "Aktualisierung installieren", "Installer oppdatering",
      "Installera uppdatering", "Install update"}},
    {202, {"Opdatering", "Aktualisierung", "Oppdatering", "Uppdatering", "Update"}},
    {203, {"Meddelelse", "Nachricht", "Melding", "Meddelande", "Message"}},
    {204,
     {kNo204,
      "Die Aktualisierung muss in der Hauptinstallation von Velkor durchgeführt werden (Server)",
      kNo204, "Uppdateringen måste göras på Velkor (server)", kNo204}},
    {205,
     {kNo205, "Es sind keine neuen Aktualisierungen oder Nachrichten erhältlich.", kNo205,
      "För tillfället finnes det inga uppdateringar eller meddelanden.", kNo205}},
    {206, {"Meddelelse fra", "Nachricht von", "Melding fra", "Meddelande från", "Message from"}},
    {207,
     {"Der kræves en internettforbindelse for at bruge denne funktion.",
      "Für die Benutzung dieser Funktion ist eine Internetverbindung notwendig.",
      "Det kreves en internettforbindelse for å bruke denne funksjonen.",
      "Denna funktion kräver internetuppkoppling.",
      "An internet connection is required to use this function."}},
    {208,
     {"Den seneste opdatering er hentet, men ikke er installeret. Ønsker du at installere "
      "opdateringen nu?",
      "Das neueste Update wurde heruntergeladen, aber noch nicht installiert. Wollen Sie das "
      "Update jetzt installieren?",
      "Nyeste oppdatering er lastet ned, men ikke installert. Vil du installere oppdateringen nå?",
      "Den senaste uppdateringen är laddad ned, men inte installerad. Vill du installera "
      "uppdateringen nu?",
      "The latest update is downloaded, but not installed. Do You want to install the update "
      "now?"}},
    {209, {"Afbryt", "Abbrechen", "Avbryt", "Avbryt", "Cancel"}},
    {210,
     {"Installer efter nedlasting", "Nach dem Download installieren", "Installer etter nedlasting",
      "Installera efter nedladdning", "Install after download"}},
    {211,
     {"Opdater programversion", "Programme aktualisieren", "Oppdater programvare",
      "Uppdatera programvara", "Update software"}},
    {212,
     {"Estimeret tid igen:", "Rest der Vorgabezeit:", "Estimert tid igjen:", "Återstående tid:",
      "Estimated time left:"}},
    {213,
     {"Modtager data...", "Empfange Daten...", "Mottar data...", "Hämtar data...",
      "Receving data..."}},
    {214, {"minut", "Minute", "minutt", "minut", "minute"}},
    {215, {"minutter", "Minuten", "minutter", "minuter", "minutes"}},
    {216, {"sekunder", "Sekunden", "sekunder", "sekunder", "seconds"}},
    {217,
     {"Oversigt over ændringer i denne versionen finder du på vores websider.",
      "Eine Übersicht über die Änderungen in dieser Version finden Sie auf unserer Website.",
      "Oversikt over endringer i denne versjonen finner du på våre supportsider.",
      "Översikt över förändringar i denna version finns på våra webbsidor.",
      "Overview of changes in this version is available on our web pages."}},
    {220,
     {"Med venlig hilsen,", "Freundliche Grüße,", "Med vennlig hilsen,", "Vänliga hälsningar,",
      "Regards, "}},
    {221, {kSupport, kSupport, kSupport, kSupport, kSupport}},
    {222,
     {"http://www.orbe.dk/Support", "http://www.orbe.de/aktuelles/", "http://www.orbe.no/Support",
      "http://www.orbe.se/Support", "http://www.orbe.co.uk/Support"}},
    {224,
     {"Ingen opdatering er tilgængelig. Seneste udgave af Tavrin Velkor er installeret.",
      "Es ist kein Update verfügbar. Die neueste Version von Tavrin Velkor ist installiert.",
      "Ingen oppdatering er tilgjengelig. Nyeste versjon av Tavrin Velkor er installert.",
      "Ingen uppdatering finns tillgänglig. Senaste versionen av Tavrin Velkor är installerat.",
      "No update is available. Latest version of Tavrin Velkor is installed."}},
    {225, {kNo225, kNo225, kNo225, kNo225, kNo225}},
    {226,
     {"Opdateringen kunne ikke installeres: @1",
      "Die Aktualisierung konnte nicht installiert werden: @1",
      "Oppdateringen kunne ikke installeres: @1", "Uppdateringen kunde inte installeras: @1",
      "The update could not be installed: @1"}},
    {227,
     {"@1 findes ikke på opdateringsserveren",
      "@1 ist auf dem Aktualisierungsserver nicht vorhanden",
      "@1 finnes ikke på oppdateringsserveren", "@1 finns inte på uppdateringsservern",
      "@1 is not on the update server"}},
    {228,
     {"Opdateringsserveren kunne ikke nås", "Der Aktualisierungsserver ist nicht erreichbar",
      "Oppdateringsserveren kunne ikke nås", "Uppdateringsservern kunde inte nås",
      "The update server could not be reached"}},
    {229,
     {"Forbindelsen til opdateringsserveren blev afbrudt",
      "Die Verbindung zum Aktualisierungsserver wurde unterbrochen",
      "Forbindelsen til oppdateringsserveren ble brutt",
      "Anslutningen till uppdateringsservern bröts",
      "The connection to the update server was lost"}},
    {230,
     {"Disken er fuld", "Der Datenträger ist voll", "Disken er full", "Disken är full",
      "The disk is full"}},
    {231,
     {"Der er ikke tilladelse til at skrive i mappen @1",
      "Es fehlt die Berechtigung, in den Ordner @1 zu schreiben",
      "Det er ikke tillatelse til å skrive til mappen @1",
      "Det saknas behörighet att skriva i mappen @1",
      "There is no permission to write to the folder @1"}},
    {232,
     {"@1 kunne ikke hentes fra opdateringsserveren",
      "@1 konnte nicht vom Aktualisierungsserver abgerufen werden",
      "@1 kunne ikke hentes fra oppdateringsserveren",
      "@1 kunde inte hämtas från uppdateringsservern",
      "@1 could not be fetched from the update server"}},
    {233,
     {"@1 hentes allerede på denne computer, måske af en anden bruger; prøv igen, når den hentning "
      "er færdig",
      "@1 wird auf diesem Computer bereits heruntergeladen, vielleicht von einem anderen Benutzer; "
      "versuchen Sie es erneut, wenn dieser Download abgeschlossen ist",
      "@1 lastes allerede ned på denne datamaskinen, kanskje av en annen bruker; prøv igjen når "
      "den nedlastingen er ferdig",
      "@1 hämtas redan på den här datorn, kanske av en annan användare; försök igen när den "
      "hämtningen är klar",
      "@1 is already being downloaded on this computer, perhaps by another user; try again when "
      "that download has finished"}},
};

class StringTableTest : public ::testing::Test {
  protected:
    std::string Load(int32_t language, int32_t id) {
        return LoadLocalString(ProgramStringResources(), dialogs, language, id);
    }
    test::RecordingDialogs dialogs;
};

TEST_F(StringTableTest, EveryIdInEveryLanguageHasItsText) {
    ASSERT_EQ(kExpected.size(), 32u);
    for (const Row& row : kExpected) {
        for (size_t i = 0; i < kLanguages.size(); ++i) {
            EXPECT_EQ(Load(kLanguages[i], row.id), row.texts[i])
                << "id " << row.id << ", language " << kLanguages[i];
        }
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(StringTableTest, IdsWithoutTextAreEmptyInEveryLanguage) {
    std::set<int32_t> withText;
    for (const Row& row : kExpected) withText.insert(row.id);
    for (int32_t language : kLanguages) {
        for (int32_t id = 0; id < 300; ++id) {
            if (withText.contains(id)) continue;
            EXPECT_EQ(Load(language, id), "") << id << "/" << language;
        }
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(StringTableTest, BlanksAtTheEdgesOfATextAreKept) {
    EXPECT_EQ(Load(2057, 220), "Regards, ");
    EXPECT_EQ(Load(1031, 200).substr(0, 5), " Eine");
}

TEST_F(StringTableTest, LanguagesOutsideTheTableGiveEmptyTexts) {
    for (int32_t language : {1033, 0, 1024, -1, 1044 + 65536, INT_MIN, INT_MAX}) {
        for (const Row& row : kExpected) EXPECT_EQ(Load(language, row.id), "") << language;
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(StringTableTest, IdsOutsideTheTableGiveEmptyTextsSilently) {
    for (int32_t id : {0, 15, 234, 240, 256, 1000, 65535, 65536 + 100, INT_MAX, -1, -16, -17,
                       -65536 + 100, INT_MIN}) {
        EXPECT_EQ(Load(1044, id), "") << id;
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(StringTableTest, RunStateSuppliesTheLanguage) {
    RunState state;
    state.dialogs = &dialogs;
    EXPECT_EQ(LoadLocalString(state, 100), "Velkor UpdateService");
    EXPECT_EQ(LoadLocalString(state, 216), "sekunder");
    state.LanguageId = 2057;
    EXPECT_EQ(LoadLocalString(state, 216), "seconds");
    state.LanguageId = 1033;
    EXPECT_EQ(LoadLocalString(state, 216), "");
    state.dialogs = nullptr;
    state.LanguageId = 1031;
    EXPECT_EQ(LoadLocalString(state, 209), "Abbrechen");
}

// The layout a Windows resource compiler makes: the four blocks in every
// language, each exactly 16 length-prefixed entries with nothing after them.
TEST_F(StringTableTest, BuiltInBlocksHaveTheResourceLayout) {
    std::set<std::pair<int, int>> found;
    for (const StringBlock& block : BuiltInStringBlocks()) {
        found.insert({block.block, block.language});
        size_t offset = 0;
        for (int entry = 0; entry < 16; ++entry) {
            ASSERT_LE(offset + 2, block.size);
            offset += 2 + 2 * (block.bytes[offset] | (block.bytes[offset + 1] << 8));
        }
        EXPECT_EQ(offset, block.size) << "block " << block.block << "/" << block.language;
    }
    std::set<std::pair<int, int>> expected;
    for (int number : {7, 13, 14, 15})
        for (int32_t language : kLanguages) expected.insert({number, language});
    EXPECT_EQ(found, expected);
}

// Blocks of one language handed in by the test, recording what was asked for.
class FakeResources : public StringResources {
  public:
    std::optional<std::span<const unsigned char>> FindBlock(uint16_t block,
                                                            uint16_t language) const override {
        asked.push_back(block);
        const auto found = blocks.find(block);
        if (language != 1044 || found == blocks.end()) return std::nullopt;
        return std::span<const unsigned char>(found->second);
    }
    std::map<uint16_t, std::vector<unsigned char>> blocks;
    mutable std::vector<uint16_t> asked;
};

std::vector<unsigned char> Units(std::initializer_list<char16_t> units) {
    std::vector<unsigned char> bytes;
    for (char16_t unit : units) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

class StringTableFaultTest : public ::testing::Test {
  protected:
    std::string Load(int32_t id) { return LoadLocalString(resources, dialogs, 1044, id); }
    void ExpectOneOutOfRangeBox() {
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, "9:Subscript out of range");
        EXPECT_EQ(dialogs.shown[0].title, "tvkUpdateService");
        EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::Critical);
        EXPECT_EQ(dialogs.shown[0].buttons, MessageButtons::Ok);
    }
    FakeResources resources;
    test::RecordingDialogs dialogs;
};

TEST_F(StringTableFaultTest, BlockNumberIsIdDividedBySixteenPlusOne) {
    for (int32_t id : {0, 15, 16, 100, 207, 208, 223, 224, 65535}) Load(id);
    Load(-1);
    Load(INT_MAX);
    EXPECT_EQ(resources.asked, (std::vector<uint16_t>{1, 1, 2, 7, 13, 14, 14, 15, 4096}));
}

TEST_F(StringTableFaultTest, LengthRunningPastTheEndShowsOneBoxAndGivesEmpty) {
    resources.blocks[1] = Units({0, 0x7FFF, 'a', 'b'});
    EXPECT_EQ(Load(1), "");
    ExpectOneOutOfRangeBox();
}

TEST_F(StringTableFaultTest, DamageBeforeTheWantedIdFaults) {
    resources.blocks[1] = Units({3, 'a', 'b'});
    EXPECT_EQ(Load(5), "");
    ExpectOneOutOfRangeBox();
}

TEST_F(StringTableFaultTest, BlockWithTooFewEntriesFaults) {
    resources.blocks[1] = Units({0, 0, 0, 0});
    EXPECT_EQ(Load(15), "");
    ExpectOneOutOfRangeBox();
}

TEST_F(StringTableFaultTest, BlockEndingInHalfALengthFaults) {
    resources.blocks[1] = {0, 0, 0};
    EXPECT_EQ(Load(1), "");
    ExpectOneOutOfRangeBox();
}

// The walk stops at the wanted id, as the resource layout is read everywhere:
// damage after it goes unnoticed, an empty block is simply empty.
TEST_F(StringTableFaultTest, DamageAfterTheWantedIdAndEmptyBlocksAreSilent) {
    resources.blocks[1] = Units({0, 2, 'o', 'k', 0xFFFF});
    resources.blocks[2] = {};
    EXPECT_EQ(Load(1), "ok");
    EXPECT_EQ(Load(16), "");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(StringTableFaultTest, TextsAreConvertedToUtf8) {
    std::vector<unsigned char> block =
        Units({0, 3, u'ø', u'€', 'x', 5, 0xD800, 'a', 0xDC00, 0xD83D, 0xDE00, 1, 0xDBFF});
    for (int i = 4; i < 16; ++i) block.insert(block.end(), {0, 0});
    resources.blocks[1] = block;
    EXPECT_EQ(Load(1), "ø€x");
    // Unpaired surrogates become U+FFFD; a proper pair becomes one character.
    EXPECT_EQ(Load(2), "\uFFFDa\uFFFD\U0001F600");
    EXPECT_EQ(Load(3), "\uFFFD");
    EXPECT_EQ(Load(4), "");
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace tvk
