#include "app/start.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocale>

TEST(Start, QtsOwnTextsFollowTheSystemsLanguage) {
  int argc = 1;
  char name[] = "cli_test";
  char* argv[] = {name, nullptr};
  const QCoreApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::German));
  korvalen::LoadQtTranslations();
  // The fields' context menu; the program's own texts have no catalogue.
  EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Copy").toStdString(), "&Kopieren");
}
