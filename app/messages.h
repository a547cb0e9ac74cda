// The seven messages of the presentation, in the order they are shown.
// Upper case; lines are separated by line feeds.
#pragma once

#include <array>
#include <string_view>

inline constexpr int presentationMessageCount = 7;

inline constexpr std::array<std::string_view, presentationMessageCount> presentationMessages = {
    // Title card: who presents what, and when.
    "THE NIGHT SHIFT CREW\nPROUDLY PRESENTS\nLAKESIDE AT DUSK\nON 12 JUNE 2024",
    // Banner: the name, a breathing line, then two claims.
    "LAKESIDE AT DUSK:\n \nEVERY PIXEL FROM CODE,\nEVERY NOTE MIXED LIVE.",
    // Motto.
    "KEEP THE CODE SMALL,\nPAINT THE SKY WIDE\nAND\nLET THE SONG RUN",
    // Greetings: heading, two lines of names, a question.
    "GREETINGS GO OUT TO\nTHE NIGHT OWLS, TIDES,\nFERN AND THE LANTERNS\nWHO SHOWS US NEXT?",
    // Credits, ending with a line feed.
    "THE CREDITS, IN BRIEF:\nCODE: FIFTY LATE NIGHTS\nMUSIC: A LITTLE TRACKER\nART: LIGHT, SINES, NOISE\n",
    // Motto and question around an empty line.
    "NO FILES, NO NETWORK,\nJUST A LITTLE PROGRAM.\n\nWHAT WOULD YOU BUILD?",
    // Closing card: the name, the years, the anniversary.
    "THE NIGHT SHIFT CREW\nTEN\nYEARS: 2014 - 2024\nHERE'S TO TEN MORE",
};
