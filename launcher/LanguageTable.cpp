#include "launcher/LanguageTable.h"

#include <algorithm>

namespace {

// The instruction as four lines, in the words each translator gave.
const TInstructionLines IcelandicLines = {
    "Velja aðferð til þykkni þinn skrá:",
    "--> Falla skrá á Brambold mynd yfir",
    "--> Réttur-smellur skrá og velja \"Brambold!\" í matseðill",
    "--> Tvöfaldur-smellur RAR-skrá",
};
const TInstructionLines CatalanLines = {
    "Per obrir un arxiu, trieu un dels tres mètodes següents:",
    "--> Arrossegar i deixar anar el fitxer comprimit a la foto amunt Brambold",
    "--> Feu clic dret en el fitxer comprimit i seleccioneu \"Brambold!\" al menú contextual",
    "--> Feu doble clic al fitxer comprimit",
};
const TInstructionLines DanishLines = {
    "Vælg en af følgende metoder for at pakke en RAR-fil ud:",
    "--> Træk filen hen over Brambold-billedet ovenover denne anvisning",
    "--> Åbn filens kontekst-menu og vælg \"Brambold!\"",
    "--> Doppeltklik på filen",
};
const TInstructionLines SpanishLines = {
    "Para descomprimir un archivo elija uno de los siguientes tres métodos:",
    "--> arrastre y deje el archivo comprimido en la imagen superior de Brambold",
    "--> haga click con el botón derecho del ratón sobre el archivo comprimido y elija \"Brambold!\"",
    "--> haga doble click sobre el archivo comprimido",
};
const TInstructionLines FinnishLines = {
    "Valitse jokin kolmesta tavasta purkaaksesi RAR-tiedosto:",
    "--> Vedä pakattu tiedosto Brambold-kuvan päälle tämän ohjeen yläpuolella",
    "--> Klikkaa hiiren oikealla painikkeella RAR-pakettia ja ja valitse avautuvasta valikosta \"Brambold!\"",
    "--> Kaksoisklikkaa RAR-tiedostoa",
};
const TInstructionLines FrenchLines = {
    "Pour décomprimer un fichier-RAR choisissez une méthode parmi les méthodes suivantes:",
    "--> Tirez le fichier sur l’image-Brambold au dessus de ces indications",
    "--> Ouvrez le menu de raccourci (touche droite de la souris) et choisissez \"Brambold!\"",
    "--> Faites un double-click sur le fichier comprimé",
};
const TInstructionLines HungarianLines = {
    "Kicsomagoláshoz válaszd a három lehetőség egyikét:",
    "--> Húzd a tömörített fájlt a fenti kép fölé",
    "--> Jobb egérgombbal kattints a tömörített fájlra, és a helyi menüből válaszd \"Brambold!\"",
    "--> Kétszer kattintsd a tömörített fájlra",
};
const TInstructionLines ItalianLines = {
    "Per decomprimere un file in formato .rar scelga uno dei seguenti metodi:",
    "--> Trascini e depositi il file compresso nella immagine di Brambold sopra questa spiegazione",
    "--> Clicchi sul file con il tasto destro e scelga \"Brambold!\" nel menu che si apre",
    "--> Clicchi due volte sul file",
};
const TInstructionLines DutchLines = {
    "Om een RAR-bestand te ontpakken kies een van de volgende methoden:",
    "--> Trek het bestand in het Brambold-beeld boven deze handleiding",
    "--> Open het kontext-menu van het bestand en kies \"Brambold!\"",
    "--> Dubbel klik het RAR-bestand",
};
const TInstructionLines NorwegianLines = {
    "Velg en av følgende metoder for å pakke ut et arkiv:",
    "--> Dra og slipp det komprimerte arkivet på Brambold-bildet over",
    "--> Høyre-klikk på det komprimerte arkivet og velg \"Brambold!\" i kontekst-menyen",
    "--> Dobbelt-klikk på RAR-arkiv ditt",
};
const TInstructionLines PolishLines = {
    "Zeby odpakowac RAR plik wybierz jedna z nastepujacych metod:",
    "--> Przesun plik na Brambold Obraz nad tym wprowadzeniem",
    "--> Otworz dialog kontextowy pliku i wybierz \"Brambold!\"",
    "--> Kliknij podwojnie ten plik",
};
const TInstructionLines PortugueseLines = {
    "Para descomprimir un ficheiro escolha um dos seguintes três métodos:",
    "--> Arraste e deixe o ficheiro comprimido cair na imagem superior do Brambold",
    "--> Faça click com o botão direito do rato sobre o ficheiro comprimido e seleccione \"Brambold!\"",
    "--> Faça duplo click sobre o ficheiro comprimido",
};
const TInstructionLines RomanianLines = {
    "Pentru a decomprima un fisier, folositi una dintre urmatoarele trei metode:",
    "--> Selectati, mutati si pozitionati fisierul comprimat peste iconita Brambold de deasupra",
    "--> Selectati cu click-dreapta fisierul comprimat si alegeti optiunea \"Brambold!\" din meniu",
    "--> Selectati fisierul cu dublu-click",
};
const TInstructionLines AlbanianLines = {
    "Per te unrar nje skedar zgjidhni nje nga tre menyrat e meposhtme...",
    "--> Zvare dhe leshoje skedarin e kompresuar ne pikturen ketu siper te Brambolds",
    "--> Kliko me butonin e djathte skedarin e kompresuar dhe zgjidh tek menuja \"Brambold!\"",
    "--> Kliko dy here skedarin e kompresuar",
};
const TInstructionLines SwedishLines = {
    "För att öppna en RAR-fil använd en av följande metoder:",
    "--> Dra filen på Brambold-bilden över denna anvisningen",
    "--> Öppna kontext-menyn av filen och välj \"Brambold!\"",
    "--> Dubbelklicka på RAR-filen",
};
const TInstructionLines IndonesianLines = {
    "Ada tiga cara untuk sari berkas:",
    "--> Batalkan berkas anda di atas gambar di atas",
    "--> Berbunyi benar menyimpan dan pilih \"Brambold!\" di menu",
    "--> Mengklik dua kali RAR-berkas",
};
const TInstructionLines EstonianLines = {
    "Faili avamiseks vali üks kolmest alljärgnevast meetodist:",
    "--> tõmba kokkupakitud fail Brambold pildile",
    "--> vali parema hiireklõpsu peale ilmuvast nimekirjast \"Brambold!\"",
    "--> tee topeltklõps kokkupakitud failil",
};
const TInstructionLines MacedonianLines = {
    "Za da go unrar izberete eden od trite metodi:",
    "--> Stavete go komrpesiraniot fajl na Brambold slikata pogore",
    "--> Desen klik na kompresiraniot fajl vo kontekst meni \"Brambold!\"",
    "--> Double klik na kompresiraniot fajl",
};
const TInstructionLines AfrikaansLines = {
    "Om jou in staat te stel om n vouer te open kies een van die volgende drie metodes:",
    "--> Sleep 'n' drup die saamgeperste vouer op die Brambold prentjie bo-aan",
    "--> Klik regs op die saamgeperste vouer en kies \"Brambold!\" in die Konteks menu",
    "--> Klik dubbel op die saamgeperste vouer",
};
const TInstructionLines MalayLines = {
    "Sila memilih satu daripada tiga jalan untuk memetik arkib:",
    "--> Kamu arkib kamu pada itu Brambold imej atas",
    "--> Kamu kanan menglik arkib dan kamu memilih \"Brambold!\" dari itu menu",
    "--> Kamu mendwiklik kamu arkib",
};
const TInstructionLines UzbekLines = {
    "Och- rar egow sayla bir josin:",
    "--> Tom- rar egow ustida Brambold bo'yoq juqori",
    "--> O'ng chert- rar egow sayla \"Brambold!\"",
    "--> Chert-ikki rar egow",
};
const TInstructionLines GalicianLines = {
    "Para abrir un arquivo elixir un dos tres métodos seguintes:",
    "--> arrastrar e soltar o arquivo compactado na foto enriba Brambold",
    "--> clic co botón dereito e selecciona o arquivo compactado \"Brambold!\" no menú de contexto",
    "--> dun dobre clic no arquivo compactado",
};
const TInstructionLines WelshLines = {
    "Mae 'n dri ffyrdd at dynnu ffeil:",
    "--> Ddefnynna ffeilia acha Brambold darlunia goruwch",
    "--> Dde-chlecia ffeilia a ddethol \"Brambold!\" i mewn ddewislen",
    "--> Blygu-chlecia RAR-ffeilia",
};
const TInstructionLines EsperantoLines = {
    "Malfermi dosieron elekti unu el la tri sekv metodoj:",
    "--> haul 'n' fal la kunpremita dosieron sur la Brambold bildo super",
    "--> gustaklak la kunpremita dosieron kaj elekti \"Brambold!\" en la kunteksto menuo",
    "--> dufoje musklak la kunpremita dosieron",
};
const TInstructionLines GermanLines = {
    "Zum Entpacken einer RAR-Datei wählen Sie eine der folgenden Methoden:",
    "--> Ziehen Sie die Datei auf das Brambold-Bild über dieser Anleitung",
    "--> Öffnen Sie das Kontext-Menü der Datei und wählen Sie \"Brambold!\"",
    "--> Doppelklicken Sie die RAR-Datei",
};

using K = TLanguageRowKind;

// Ascending by identifier, so a lookup is a binary search.
constexpr TLanguageRow LanguageRowTable[] = {
    {15, K::Text, "Icelandic", &IcelandicLines, nullptr},
    {1025, K::OwnPicture, "Arabic", nullptr, "LanguageImage"},
    {1026, K::Picture, "Bulgarian", nullptr, "LanguageImageBulgarian"},
    {1027, K::Text, "Catalan", &CatalanLines, nullptr},
    {1028, K::Picture, "Chinese (Traditional)", nullptr, "LanguageImageChineseTrad"},
    {1029, K::Picture, "Czech", nullptr, "LanguageImageCzech"},
    {1030, K::Text, "Danish", &DanishLines, nullptr},
    {1031, K::German, "German", &GermanLines, nullptr},
    {1032, K::Picture, "Greek", nullptr, "LanguageImageGreek"},
    {1033, K::KeepEnglish, "English (United States)", nullptr, nullptr},
    {1034, K::Text, "Spanish (traditional sort)", &SpanishLines, nullptr},
    {1035, K::Text, "Finnish", &FinnishLines, nullptr},
    {1036, K::Text, "French", &FrenchLines, nullptr},
    {1037, K::Picture, "Hebrew", nullptr, "LanguageImageHebrew"},
    {1038, K::Text, "Hungarian", &HungarianLines, nullptr},
    {1040, K::Text, "Italian", &ItalianLines, nullptr},
    {1041, K::Picture, "Japanese", nullptr, "LanguageImageJapanese"},
    {1042, K::Picture, "Korean", nullptr, "LanguageImageKorean"},
    {1043, K::Text, "Dutch", &DutchLines, nullptr},
    {1044, K::Text, "Norwegian (Bokmål)", &NorwegianLines, nullptr},
    {1045, K::Text, "Polish", &PolishLines, nullptr},
    {1046, K::Text, "Portuguese (Brazil)", &PortugueseLines, nullptr},
    {1048, K::Text, "Romanian", &RomanianLines, nullptr},
    {1049, K::Picture, "Russian", nullptr, "LanguageImageRussian"},
    {1050, K::Picture, "Croatian", nullptr, "LanguageImageBosnianCroatianSerbian"},
    {1051, K::Picture, "Slovak", nullptr, "LanguageImageSlovak"},
    {1052, K::Text, "Albanian", &AlbanianLines, nullptr},
    {1053, K::Text, "Swedish", &SwedishLines, nullptr},
    {1054, K::Picture, "Thai", nullptr, "LanguageImageThai"},
    {1055, K::Picture, "Turkish", nullptr, "LanguageImageTurkish"},
    {1057, K::Text, "Indonesian", &IndonesianLines, nullptr},
    {1058, K::Picture, "Ukrainian", nullptr, "LanguageImageUkrainian"},
    {1059, K::Picture, "Belarusian", nullptr, "LanguageImageBelarusian"},
    {1060, K::Picture, "Slovenian", nullptr, "LanguageImageSlovenian"},
    {1061, K::Text, "Estonian", &EstonianLines, nullptr},
    {1062, K::Picture, "Latvian", nullptr, "LanguageImageLatvian"},
    {1063, K::Picture, "Lithuanian", nullptr, "LanguageImageLithuanian"},
    {1065, K::Picture, "Farsi", nullptr, "LanguageImageFarsi"},
    {1069, K::Text, "Basque", &SpanishLines, nullptr},
    {1071, K::Text, "Macedonian", &MacedonianLines, nullptr},
    {1078, K::Text, "Afrikaans", &AfrikaansLines, nullptr},
    {1086, K::Text, "Malay", &MalayLines, nullptr},
    {1091, K::Text, "Uzbek", &UzbekLines, nullptr},
    {1104, K::Picture, "Mongolian", nullptr, "LanguageImageMongolian"},
    {1110, K::Text, "Galician", &GalicianLines, nullptr},
    {1150, K::KeepEnglish, "Breton", nullptr, nullptr},
    {1160, K::Text, "Welsh", &WelshLines, nullptr},
    {2052, K::Picture, "Chinese (Simplified)", nullptr, "LanguageImageChineseSimp"},
    {2068, K::Text, "Norwegian (Nynorsk)", &NorwegianLines, nullptr},
    {2070, K::Text, "Portuguese (Portugal)", &PortugueseLines, nullptr},
    {2074, K::Picture, "Serbian (Latin)", nullptr, "LanguageImageBosnianCroatianSerbian"},
    {2108, K::KeepEnglish, "Irish", nullptr, nullptr},
    {3082, K::Text, "Spanish (modern sort)", &SpanishLines, nullptr},
    {3098, K::Picture, "Serbian (Cyrillic)", nullptr, "LanguageImageSerbian"},
    {4103, K::German, "German (Luxembourg)", &GermanLines, nullptr},
    {5146, K::Picture, "Bosnian", nullptr, "LanguageImageBosnianCroatianSerbian"},
    {9998, K::Text, "Esperanto", &EsperantoLines, nullptr},
    {9999, K::Picture, "Kurdish", nullptr, "LanguageImageKurdish"},
};

constexpr TCaptionRow GermanCaptionTable[] = {
    {"Button2", "Lizenz..."},
    {"Button19", "Spenden..."},
    {"Button3", "Details anzeigen..."},
    {"Button6", "Details anzeigen..."},
    {"Button9", "Details anzeigen..."},
    {"Button4", "E-Book lesen..."},
    {"Button5", "Mehr E-Books..."},
    {"Button10", "Download Screensaver..."},
    {"Button11", "Mehr Screensaver..."},
    {"Button7", "Website besuchen..."},
    {"Button8", "Weitere Geschenke..."},
    {"Button15", "E-Book jetzt gratis lesen..."},
    {"TabSheet1", "Geschenke"},
    {"TabSheet2", "Dankbarkeit"},
    {"TabSheet3", "Wertschätzung"},
    {"TabSheet4", "Hilfe"},
    {"StaticText3", "Das stille Archiv"},
    {"StaticText4", "14,95 €"},
    {"StaticText6", "gratis für Sie!"},
    {"StaticText7", "Aquarium-Screensaver"},
    {"StaticText8", "9,95 €"},
    {"StaticText9", "gratis für Sie!"},
    {"StaticText10", "Fototage"},
    {"StaticText11", "Wert 29,95 €"},
    {"StaticText12", "gratis für Sie!"},
};

}  // namespace

std::span<const TLanguageRow> LanguageRows()
{
    return LanguageRowTable;
}

const TLanguageRow* FindLanguageRow(int languageId)
{
    const auto it = std::lower_bound(std::begin(LanguageRowTable), std::end(LanguageRowTable), languageId,
                                     [](const TLanguageRow& row, int id) { return row.Id < id; });
    return it != std::end(LanguageRowTable) && it->Id == languageId ? it : nullptr;
}

std::span<const TCaptionRow> GermanCaptions()
{
    return GermanCaptionTable;
}
