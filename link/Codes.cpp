#include "link/Codes.h"

#include "model/Cp1251.h"

std::string ResultText(int32_t resultCode) {
  switch (resultCode) {
    case kStatusOk: return "OK";
    case kStatusUnitFault: return tgx::FromUtf8("Неисправность БВ!");
    case kResultPackError: return tgx::FromUtf8("Ошибка сжатия таблиц");
    case kResultNoDriver: return tgx::FromUtf8("Версия не поддерживается");
    case kResultNoMemory: return tgx::FromUtf8("Недостаточно памяти БВ!");
    case kStatusInitialising: return tgx::FromUtf8("Инициализация БВ");
    // A link failure, an unknown operation and every other status byte.
    default: return tgx::FromUtf8("Ошибка связи");
  }
}

std::string PortBusyText() { return tgx::FromUtf8("Порт занят"); }
