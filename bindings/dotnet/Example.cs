// Example.cs - a path on the virtual card from C#: register card 0, run a line and an
// arc, wait until the card has run them, print its positions. Leaving the `using` block
// stops whatever still moves (KorvaCard.Dispose).
//   mcs -define:KORVA3_SIM Example.cs Korva3Native.cs KorvaCard.cs Korva3SimNative.cs
//   LD_LIBRARY_PATH=../../build mono Example.exe
using System;
using Korva;

static class Example
{
    static int Main()
    {
        Korva3SimNative.OneCardMachine(0);  // a virtual PC with one card, ID switch 0
        KorvaCard.Initial();
        int x, y, z;
        using (KorvaCard card = KorvaCard.Register(0, 0)) {
            card.PollInterval = TimeSpan.Zero;  // virtual time: runs while the program polls
            card.SetSpeeds(10, 10, 10, 400);
            card.Line(10000, 0, 300);
            card.Arc(0, 10000, 5000, Turn.CounterClockwise, 300);
            card.Line(-10000, -10000, 300);
            card.Wait(TimeSpan.FromSeconds(10)); // TimeoutException if the card still moves then
            card.Poll();                        // drain the status reports
            Korva3SimNative.KSIM_ADVANCE_MS(40);
            card.Poll();
            x = card.X;
            y = card.Y;
            z = card.Z;
        }
        Console.WriteLine("card 0 at ({0}, {1}, {2}) after {3} ms", x, y, z, Korva3SimNative.KSIM_CLOCK_MS());
        KorvaCard.End();
        return x == 0 && y == 0 && z == 0 ? 0 : 1;
    }
}
