#pragma once

// The buttons' pictures, drawn here in the 16 colours of the classic desktop palette.
// The edit, confirm, cancel, list, calendar and receipt pictures carry a second, greyed
// picture for their disabled look; the others let the style grey them.

#include <QIcon>
#include <QImage>

namespace winstyle {

enum class Glyph {
    Plus,       // "Novo": blue plus sign
    Writing,    // "Edita": hand writing on a sheet
    Check,      // "Confirma": green check mark
    Cross,      // "Cancela": red cross
    List,       // "Procura": hand pointing at a list
    Diskette,
    Calendar,
    Printer,
    Door,       // "Fechar": open door with an arrow going out
    Eraser,     // "Delete": pink eraser lying aslant, its sleeve blue
    HandLeft,   // previous year: white glove pointing left
    HandRight,  // next year: the same glove pointing right
    Transfer,   // "Transfere para Arquivo": a sheet going into a diskette
    Receipt,    // "Protocolo de Entrega": a receipt with its lines and a red stamp
};

// The picture's side in pixels: 16, and 24 for the door on its larger button.
int glyphSize(Glyph glyph);
// The picture on a transparent background.
QImage glyphImage(Glyph glyph);
// True for the pictures that come with a greyed variant of their own.
bool hasGreyedVariant(Glyph glyph);
// The disabled look: the dark parts in grey with a white relief one pixel below and to the
// right; light parts drop out.
QImage greyedImage(const QImage &image);
// The icon for a button: normal picture, and the greyed one for the disabled state where
// the picture has one.
QIcon glyphIcon(Glyph glyph);

} // namespace winstyle
